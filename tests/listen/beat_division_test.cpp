// Beats divided in three (a compound meter's eighths) told from beats
// divided in two or four, and halves that sound as the beats do, over
// attack lists made here.
#include "listen/beat_division.h"

#include <gtest/gtest.h>

namespace beatmarks {
namespace {

// 20 beats 600 samples apart, with attacks at the given parts of every beat.
std::vector<Attack> Divided(const std::vector<double>& parts, std::vector<std::int64_t>& beats) {
  std::vector<Attack> attacks;
  beats.clear();
  for (std::int64_t b = 0; b < 20; ++b) {
    beats.push_back(1000 + 600 * b);
    attacks.push_back({beats.back(), 30});
    for (double part : parts) attacks.push_back({beats.back() + static_cast<std::int64_t>(600 * part), 15});
  }
  return attacks;
}

TEST(BeatDivision, ThirdsFromHalvesAndQuarters) {
  const struct {
    const char* name;
    std::vector<double> parts;
    bool three;
  } cases[] = {
      {"eighths of a dotted quarter", {1.0 / 3, 2.0 / 3}, true},
      {"only the second eighth", {1.0 / 3}, true},
      {"eighths of a quarter", {0.5}, false},
      {"sixteenths", {0.25, 0.5, 0.75}, false},
      {"a swung eighth and the quarter in a half note", {1.0 / 3, 0.5}, false},
      {"nothing between the beats", {}, false},
  };
  for (const auto& c : cases) {
    std::vector<std::int64_t> beats;
    const std::vector<Attack> attacks = Divided(c.parts, beats);
    EXPECT_EQ(DividedInThree(attacks, beats), c.three) << c.name;
  }
  EXPECT_FALSE(DividedInThree({}, {})) << "no beats";
}

// 20 beats 600 samples apart rising 30 dB; halfway attacks rising `halfDb`
// on every `every`th beat (0: none), `late` samples late; as the beats on
// every `alike`th beat.
bool Halves(float halfDb, int every, std::int64_t late = 0, bool beatHeard = true, int alike = 0) {
  std::vector<Attack> attacks;
  std::vector<std::int64_t> beats;
  for (std::int64_t b = 0; b < 20; ++b) {
    beats.push_back(1000 + 600 * b);
    if (beatHeard) attacks.push_back({beats.back(), 30});
    const float rise = alike > 0 && b % alike == 0 ? 30 : halfDb;
    if (every > 0 && b % every == 0) attacks.push_back({beats.back() + 300 + late, rise});
  }
  return HalvesLikeBeats(attacks, beats);
}

TEST(BeatDivision, HalvesLikeBeats) {
  const struct {
    const char* name;
    bool halves;
    bool alike;
  } cases[] = {
      {"even eighths", Halves(30, 1), true},
      {"eighths 2.9 dB softer", Halves(27.1f, 1), true},
      {"eighths 3 dB softer", Halves(27, 1), false},
      {"a hi-hat's eighths, 10 dB softer", Halves(20, 1), false},
      {"eighths on every other beat", Halves(30, 2), true},
      {"eighths on every third beat", Halves(30, 3), false},
      {"no eighths", Halves(30, 0), false},
      {"eighths 30 samples late, near enough", Halves(30, 1, 30), true},
      {"eighths 45 samples late, a swung note", Halves(30, 1, 45), false},
      {"halves with no attack on the beats", Halves(30, 1, 0, false), false},
      {"a hi-hat's eighths, a few as loud as the beats", Halves(20, 1, 0, true, 3), false},
      {"eighths as loud as the beats on most", Halves(20, 1, 0, true, 3 - 1), true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.halves, c.alike) << c.name;
  EXPECT_FALSE(HalvesLikeBeats({}, {})) << "no beats";
}

TEST(BeatDivision, AlternationDb) {
  // Beats 500 samples apart at levels cycling through `levels`; `off` of
  // them with no attack on their sample.
  const auto alternation = [](std::vector<float> levels, std::size_t off = 0) {
    std::vector<Attack> attacks;
    std::vector<std::int64_t> beats;
    for (std::size_t k = 0; k < 12; ++k) {
      beats.push_back(500 * static_cast<std::int64_t>(k));
      attacks.push_back({beats.back() + (k < off ? 7 : 0), 20, levels[k % levels.size()]});
    }
    return AlternationDb(attacks, beats);
  };
  EXPECT_DOUBLE_EQ(alternation({-10, -16}), 6) << "every other beat softer";
  EXPECT_DOUBLE_EQ(alternation({-16, -10}), 6) << "whichever comes first";
  EXPECT_DOUBLE_EQ(alternation({-10}), 0) << "all alike";
  EXPECT_DOUBLE_EQ(alternation({-10, -16, -16}), 0) << "a waltz: both places hold downbeats";
  EXPECT_DOUBLE_EQ(alternation({-10, -16}, 6), 6) << "beats off their attacks left out";
  EXPECT_DOUBLE_EQ(alternation({-10, -16}, 12), 0) << "none on an attack";
}

}  // namespace
}  // namespace beatmarks
