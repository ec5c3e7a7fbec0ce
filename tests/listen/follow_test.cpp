// Beats followed over attack lists made here: the dynamic-programming path
// between two known beats, and the walk after the last one, with each way
// it ends.
#include "listen/follow.h"

#include <gtest/gtest.h>

#include <cmath>

namespace beatmarks {
namespace {

constexpr std::uint32_t kRate = 1000;  // a sample a millisecond

// Beats from 1000 on with intervals drifting from `start` by `drift` a beat,
// an off-beat attack `offDb` strong in the middle of each (none below 0 dB).
struct Played {
  std::vector<std::int64_t> beats;
  std::vector<Attack> attacks;
};

Played Play(std::size_t count, double start, double drift, float offDb,
            std::size_t heldBeat = SIZE_MAX, std::size_t silentBeat = SIZE_MAX, double held = 3.0) {
  Played p;
  double t = 1000, gap = start;
  for (std::size_t k = 0; k < count; ++k) {
    p.beats.push_back(std::llround(t));
    if (k != silentBeat) p.attacks.push_back({std::llround(t), 30});
    const double next = gap * (k == heldBeat ? held : 1.0);
    if (offDb > 0 && k + 1 < count) p.attacks.push_back({std::llround(t + next / 2), offDb});
    t += next;
    gap += drift;
  }
  return p;
}

TEST(FollowBetween, FindsTheBeatsAmongOffBeatsWhateverTheTempoDoes) {
  struct Case {
    const char* name;
    Played played;
    bool found;
  } cases[] = {
      {"steady", Play(40, 500, 0, 15), true},
      {"rushing", Play(60, 600, -3, 15), true},
      {"slowing, loud off-beats", Play(60, 450, 4, 27), true},
      {"a fermata", Play(30, 500, 0, 15, 20), true},
      {"no off-beats", Play(30, 500, 1, 0), true},
      {"a beat not played", Play(30, 500, 0, 0, SIZE_MAX, 12), false},
  };
  for (const Case& c : cases) {
    const auto& b = c.played.beats;
    std::vector<Attack> found;
    const bool ok = FollowBetween(c.played.attacks, b[3], b.back(), b.size() - 5,
                                  static_cast<double>(b[3] - b[2]), found) == Between::kFound;
    EXPECT_EQ(ok, c.found) << c.name;
    if (!ok) {
      EXPECT_TRUE(found.empty()) << c.name;
      continue;
    }
    ASSERT_EQ(found.size(), b.size() - 5) << c.name;
    for (std::size_t i = 0; i < found.size(); ++i) EXPECT_EQ(found[i].sample, b[4 + i]) << c.name << " beat " << 4 + i;
  }
}

TEST(FollowBetween, RefusesWhatCannotFit) {
  const Played p = Play(20, 500, 0, 0);
  std::vector<Attack> found;
  EXPECT_EQ(FollowBetween(p.attacks, p.beats[0], p.beats[1], 0, 0, found), Between::kFound);
  EXPECT_TRUE(found.empty());
  EXPECT_EQ(FollowBetween(p.attacks, p.beats[5], p.beats[2], 2, 0, found), Between::kNoFit) << "backwards";
  EXPECT_EQ(FollowBetween(p.attacks, p.beats[0], p.beats[19], 40, 0, found), Between::kNoFit)
      << "more beats than attacks";
  const Played huge = Play(7000, 40, 0, 0);
  EXPECT_EQ(FollowBetween(huge.attacks, huge.beats[0], huge.beats.back(), 6998, 0, found), Between::kTooLarge)
      << "a search too large to make";
}

TEST(FollowOn, GoesOnUntilThePlayingStopsOrTheBeatIsLost) {
  struct Case {
    const char* name;
    Played played;
    std::size_t most;
    std::size_t beats;  // found after the first four
    FollowEnd end;
    std::int64_t tail = 2000;  // samples the recording goes on after the last beat
  } cases[] = {
      {"to the end of the playing", Play(50, 500, 2, 15), SIZE_MAX, 46, FollowEnd::kEndOfPlaying},
      {"to the end of the recording", Play(50, 500, 2, 15), SIZE_MAX, 46, FollowEnd::kEndOfRecording, 300},
      {"to a limit", Play(50, 500, -2, 15), 10, 10, FollowEnd::kLimit},
      {"over one silent beat", Play(30, 500, 0, 0, SIZE_MAX, 10), SIZE_MAX, 26, FollowEnd::kEndOfPlaying},
      {"lost at a fermata", Play(30, 500, 0, 0, 15), SIZE_MAX, 12, FollowEnd::kLost},
      // A note held 1.85 beats: one beat held long or two quick ones; no beat
      // is placed in it to shift the numbering after.
      {"lost at a held note", Play(30, 500, 0, 0, 15, SIZE_MAX, 1.85), SIZE_MAX, 12, FollowEnd::kLost},
  };
  for (const Case& c : cases) {
    const auto& b = c.played.beats;
    const std::vector<std::int64_t> known(b.begin(), b.begin() + 4);
    const FollowedOn on = FollowOn(c.played.attacks, known, c.most, b.back() + c.tail, kRate);
    EXPECT_EQ(on.end, c.end) << c.name;
    ASSERT_EQ(on.beats.size(), c.beats) << c.name;
    for (std::size_t i = 0; i < on.beats.size(); ++i) {
      EXPECT_NEAR(on.beats[i].sample, b[4 + i], on.onAttack[i] ? 0 : 1) << c.name << " beat " << 4 + i;
    }
  }
}

// After the last beat played, a ringing tail's attacks on the beat (far
// quieter, or rising little after a beat without one) are not beats.
TEST(FollowOn, EndsWhereThePlayingFallsAway) {
  const struct {
    const char* name;
    float levelDb, strengthDb;
  } tails[] = {{"20 dB under the beats", -40, 30}, {"rising little after a silent beat", -22, 12}};
  for (const auto& tail : tails) {
    Played p = Play(20, 500, 0, 0);
    for (Attack& a : p.attacks) a.levelDb = -20;
    const std::int64_t end = p.beats.back();
    for (int k = 2; k <= 8; ++k) p.attacks.push_back({end + 500 * k, tail.strengthDb, tail.levelDb});
    const std::vector<std::int64_t> known(p.beats.begin(), p.beats.begin() + 4);
    const FollowedOn on = FollowOn(p.attacks, known, SIZE_MAX, end + 6000, kRate);
    EXPECT_EQ(on.end, FollowEnd::kEndOfPlaying) << tail.name;
    EXPECT_EQ(on.beats.size(), 16u) << tail.name;
  }
}

// One attack a beat after the last played: a key let go in the tail (no
// clear attack, both quieter and rising less) is no beat; a last chord that
// is louder or rises clearly, or one with the playing going on after it, is.
TEST(FollowOn, TakesNoSoundInTheTailForABeat) {
  const struct {
    const char* name;
    float levelDb, strengthDb;
    bool playingOn;
    std::size_t beats;
  } cases[] = {
      {"a key let go", -27, 8, false, 16},
      {"a louder last chord rising less", -18, 8, false, 17},
      {"a held chord, quieter but a clear attack", -27, 18, false, 17},
      {"a soft beat, the playing going on", -27, 8, true, 20},
  };
  for (const auto& c : cases) {
    Played p = Play(20, 500, 0, 0);
    for (Attack& a : p.attacks) a.levelDb = -20;
    const std::int64_t end = p.beats.back();
    p.attacks.push_back({end + 500, c.strengthDb, c.levelDb});
    for (int k = 2; c.playingOn && k <= 4; ++k) p.attacks.push_back({end + 500 * k, 30, -20});
    const std::vector<std::int64_t> known(p.beats.begin(), p.beats.begin() + 4);
    const FollowedOn on = FollowOn(p.attacks, known, SIZE_MAX, end + 6000, kRate);
    EXPECT_EQ(on.end, FollowEnd::kEndOfPlaying) << c.name;
    EXPECT_EQ(on.beats.size(), c.beats) << c.name;
  }
}

// A ritardando over eighths (three a beat, nearly as strong as the beats):
// from the known beats on, each beat is 10% longer than the last, faster
// than the local beat follows, and still no eighth is taken for a beat.
TEST(FollowOn, TakesNoEighthForABeatInARitardando) {
  Played p;
  double t = 1000, gap = 600;
  for (int k = 0; k < 12; ++k) {
    p.beats.push_back(std::llround(t));
    p.attacks.push_back({std::llround(t), 24});
    if (k + 1 < 12) {
      p.attacks.push_back({std::llround(t + gap / 3), 20});
      p.attacks.push_back({std::llround(t + 2 * gap / 3), 20});
    }
    t += gap;
    gap *= k >= 5 ? 1.10 : 1.0;
  }
  const std::vector<std::int64_t> known(p.beats.begin(), p.beats.begin() + 6);
  const FollowedOn on = FollowOn(p.attacks, known, SIZE_MAX, p.beats.back() + 3000, kRate);
  ASSERT_EQ(on.beats.size(), 6u);
  for (std::size_t i = 0; i < on.beats.size(); ++i) EXPECT_EQ(on.beats[i].sample, p.beats[6 + i]) << i;
}

TEST(FollowOn, StopsWhereTwoAttacksFitAlike) {
  Played p = Play(20, 500, 0, 0);
  p.attacks[9] = {p.beats[9] - 30, 30};  // two hits as loud, either side of the beat
  p.attacks.insert(p.attacks.begin() + 10, {p.beats[9] + 30, 30});
  const std::vector<std::int64_t> known(p.beats.begin(), p.beats.begin() + 4);
  const FollowedOn on = FollowOn(p.attacks, known, SIZE_MAX, p.beats.back() + 2000, kRate);
  EXPECT_EQ(on.end, FollowEnd::kLost);
  EXPECT_EQ(on.beats.size(), 5u);
}

TEST(AttacksLikeBeats, DropsWhatIsFarWeakerThanTheKnownBeats) {
  const std::vector<Attack> heard = {{100, 30}, {300, 9}, {500, 28}, {700, 12}, {900, 31}};
  const std::vector<Attack> kept = AttacksLikeBeats(heard, {100, 500, 900});
  ASSERT_EQ(kept.size(), 4u);
  EXPECT_EQ(kept[1].sample, 500);
  // Out of near silence rises are huge: a march's bass notes on beat 1
  // (60 dB) stay beside its snare on 2 (85 dB); a hat between (30 dB) too.
  const std::vector<Attack> march = {{100, 102}, {200, 30}, {300, 87}, {500, 64}, {700, 79}, {900, 60}, {1100, 85}};
  EXPECT_EQ(AttacksLikeBeats(march, {100, 300, 500, 700}).size(), march.size());
}

}  // namespace
}  // namespace beatmarks
