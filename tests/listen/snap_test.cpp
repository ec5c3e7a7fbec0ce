// Taps snapped to rendered performances whose attacks lie on known samples:
// every beat within 1 ms of its hit's first sample (the first rendered
// sample of the hit, which for a sine from phase 0 is a zero the sound
// rises from), the flags, the lag, and each refusal as one line.
#include "listen/snap.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>

#include "e2e/run_program.h"
#include "listen/attacks.h"
#include "listen/performance.h"

namespace beatmarks {
namespace {

using testing::Backdrop;
using testing::HitKind;

struct Performance {
  const char* name;
  std::vector<HitKind> kinds;  // one a beat, in turn
  Backdrop backdrop;
  std::uint32_t rate;
  int channels;
  int format;
  double toleranceMs;  // of each beat from its hit's first sample
};

const Performance kPerformances[] = {
    {"drums over a bass, mono WAV", {HitKind::kKick, HitKind::kNoiseBurst, HitKind::kPluck, HitKind::kNoiseBurst},
     {-40, 0.15, -24}, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1},
    {"drums in a long reverb, stereo FLAC", {HitKind::kKick, HitKind::kNoiseBurst, HitKind::kNoiseBurst, HitKind::kPluck},
     {-40, 0.1, -12}, 44100, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1},
    {"soft tones between kicks, 6 channels AIFF", {HitKind::kKick, HitKind::kSoftTone, HitKind::kPluck, HitKind::kSoftTone},
     // A tone rising over 4 ms out of the ringing before it is placed up to
     // 5 ms off: the goal of 1 ms is not met there yet (listen/BENCH-NOTES.md).
     {-40, 0.1, -24}, 48000, 6, SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 5},
    {"plucks and bursts over a loud bass, float WAV", {HitKind::kPluck, HitKind::kNoiseBurst},
     {-40, 0.4, -24}, 96000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1},
    // Sounds shorter than the detector's window: every hop before one by up
    // to that window rises alike, and the sound must still be found after it.
    {"1 ms clicks over quiet noise, 44.1 kHz", {HitKind::kClick}, {-70, 0, -70}, 44100, 1,
     SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.05},
    {"1 ms clicks and kicks, 8 kHz", {HitKind::kClick, HitKind::kKick}, {-60, 0, -40}, 8000, 1,
     SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.2},
};

struct Rendered {
  std::vector<std::int64_t> beats;
  std::string path;
};

Rendered Render(const Performance& p, const testing::TempFolder& dir, std::size_t count, double bpm) {
  Rendered r;
  r.beats = testing::DriftingBeats(p.rate / 3, count, bpm, 0.06, p.rate);
  const auto mono = testing::Render(testing::HitsOn(r.beats, p.kinds), r.beats.back() + p.rate, p.rate,
                                    p.backdrop, 11);
  r.path = dir.File(std::string("take") + (p.format & SF_FORMAT_FLAC ? ".flac" : ".wav"));
  std::string error;
  EXPECT_TRUE(testing::WriteRecording(r.path, mono, p.channels, p.rate, p.format, error)) << error;
  return r;
}

std::int64_t Tolerance(const Performance& p) { return std::llround(p.toleranceMs * p.rate / 1000); }

TEST(Snap, EveryBeatOnItsAttackFromLateJitteryTaps) {
  for (const Performance& p : kPerformances) {
    SCOPED_TRACE(p.name);
    testing::TempFolder dir;
    const Rendered r = Render(p, dir, 48, 104);
    const std::vector<double> taps = testing::Taps(r.beats, p.rate, 10, 15, 5);
    SnapResult result;
    std::string error;
    ASSERT_TRUE(SnapTaps(r.path, taps, {}, result, error)) << error;
    EXPECT_EQ(result.rate, p.rate);
    ASSERT_EQ(result.beats.size(), r.beats.size());
    EXPECT_EQ(result.snappedCount, r.beats.size());
    EXPECT_EQ(result.doubledCount, 0u);
    EXPECT_NEAR(result.lagSeconds, 0.010, 0.004);
    double largest = 0;
    for (std::size_t k = 0; k < r.beats.size(); ++k) {
      const SnappedBeat& beat = result.beats[k];
      EXPECT_TRUE(beat.snapped) << "beat " << k;
      EXPECT_LE(std::abs(beat.sample - r.beats[k]), Tolerance(p)) << "beat " << k << " off by "
                                                                       << beat.sample - r.beats[k];
      EXPECT_DOUBLE_EQ(beat.shiftSeconds, static_cast<double>(beat.sample) / p.rate - taps[k]);
      largest = std::max(largest, std::abs(beat.shiftSeconds) * 1000);
    }
    EXPECT_DOUBLE_EQ(result.largestShiftMs, largest);
    EXPECT_GT(result.medianShiftMs, 0);
    EXPECT_LE(result.medianShiftMs, largest);
  }
}

// Missed taps widen nothing past the window; of a double tap one tap snaps
// and the other is flagged or left as tapped; taps over silence keep their
// time less the lag.
TEST(Snap, MissedDoubleAndUnfoundTaps) {
  const Performance& p = kPerformances[0];
  testing::TempFolder dir;
  Rendered r = Render(p, dir, 40, 96);
  std::vector<double> taps = testing::Taps(r.beats, p.rate, 10, 15, 9);
  std::vector<std::int64_t> truth = r.beats;
  for (std::size_t k : {30u, 20u, 10u}) {  // missed
    taps.erase(taps.begin() + static_cast<std::ptrdiff_t>(k));
    truth.erase(truth.begin() + static_cast<std::ptrdiff_t>(k));
  }
  const std::size_t doubled = 5;
  taps.insert(taps.begin() + doubled + 1, taps[doubled] + 0.006);
  truth.insert(truth.begin() + doubled + 1, truth[doubled]);
  // Past the last hit: a second of noise and reverb, then silence padding.
  const double quiet = static_cast<double>(r.beats.back()) / p.rate + 0.7;
  taps.push_back(quiet);
  SnapResult result;
  std::string error;
  ASSERT_TRUE(SnapTaps(r.path, taps, {}, result, error)) << error;
  ASSERT_EQ(result.beats.size(), taps.size());
  for (std::size_t k = 0; k + 1 < taps.size(); ++k) {
    const SnappedBeat& beat = result.beats[k];
    if (k == doubled || k == doubled + 1) continue;
    EXPECT_TRUE(beat.snapped) << "beat " << k;
    EXPECT_LE(std::abs(beat.sample - truth[k]), Tolerance(p)) << "beat " << k;
  }
  const SnappedBeat& one = result.beats[doubled];
  const SnappedBeat& other = result.beats[doubled + 1];
  const SnappedBeat& on = one.snapped ? one : other;
  const SnappedBeat& off = one.snapped ? other : one;
  EXPECT_TRUE(on.snapped);
  EXPECT_LE(std::abs(on.sample - truth[doubled]), Tolerance(p));
  EXPECT_TRUE(!off.snapped || other.doubled) << "the double tap's other tap";
  const SnappedBeat& last = result.beats.back();
  EXPECT_FALSE(last.snapped);
  EXPECT_EQ(last.sample, std::llround((quiet - result.lagSeconds) * p.rate));
  EXPECT_EQ(result.snappedCount + 1 + !off.snapped, taps.size());
}

// The window setting bounds the search: taps 60 ms late find nothing within
// 20 ms once no lag can be learned (every tap equally far), and find their
// attacks with the default.
TEST(Snap, WindowSettingBoundsTheSearch) {
  const Performance& p = kPerformances[0];
  testing::TempFolder dir;
  const Rendered r = Render(p, dir, 12, 90);
  std::vector<double> taps = testing::Taps(r.beats, p.rate, 60, 0, 1);
  SnapResult narrow, wide;
  std::string error;
  ASSERT_TRUE(SnapTaps(r.path, taps, {0.020, 0.4}, narrow, error)) << error;
  ASSERT_TRUE(SnapTaps(r.path, taps, {}, wide, error)) << error;
  EXPECT_EQ(narrow.snappedCount, 0u);
  EXPECT_EQ(wide.snappedCount, taps.size());
  EXPECT_NEAR(wide.lagSeconds, 0.040, 1e-9);  // the lag is held to half the window
  // Settings out of range are held to it, never trusted to size a read.
  for (SnapSettings odd : {SnapSettings{std::nan(""), 0.4}, SnapSettings{1e300, std::nan("")},
                           SnapSettings{-1, -1}}) {
    SnapResult result;
    ASSERT_TRUE(SnapTaps(r.path, taps, odd, result, error)) << error;
    EXPECT_EQ(result.beats.size(), taps.size());
  }
}

TEST(Snap, RefusalsAreOneLine) {
  testing::TempFolder dir;
  const std::string text = dir.File("notes.wav");
  std::ofstream(text) << "not audio at all\n";
  const std::string empty = dir.File("empty.wav");
  std::string error;
  ASSERT_TRUE(testing::WriteRecording(empty, {}, 1, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, error));
  const std::string second = dir.File("second.wav");
  ASSERT_TRUE(testing::WriteRecording(second, std::vector<float>(48000, 0.0f), 2, 48000,
                                      SF_FORMAT_WAV | SF_FORMAT_PCM_16, error));
  const struct {
    std::string path;
    std::vector<double> taps;
    std::string error;
  } cases[] = {
      {dir.File("missing.wav"), {0.5}, dir.File("missing.wav") + ": No such file or directory"},
      {text, {0.5}, text + ": cannot read it as audio ("},
      {empty, {0.5}, empty + ": holds no samples"},
      {second, {0.5, 1.25}, second + ": tap 2 at 1.250 s is past its end (1.000 s)"},
      {second, {0.5, 0.25}, "tap 2 comes before tap 1"},
      {second, {-0.1}, "tap 1 is not a time on the recording"},
      {second, {std::nan("")}, "tap 1 is not a time on the recording"},
  };
  for (const auto& c : cases) {
    SnapResult result;
    error.clear();
    EXPECT_FALSE(SnapTaps(c.path, c.taps, {}, result, error));
    EXPECT_EQ(error.substr(0, c.error.size()), c.error);
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
  // Silence: nothing to snap to, every tap kept; no taps at all is no work.
  SnapResult result;
  ASSERT_TRUE(SnapTaps(second, {0.0, 0.5, 1.0}, {}, result, error)) << error;
  EXPECT_EQ(result.snappedCount, 0u);
  EXPECT_EQ(result.beats.back().sample, 48000);
  ASSERT_TRUE(SnapTaps(second, {}, {}, result, error)) << error;
  EXPECT_TRUE(result.beats.empty());
}

// The list of attacks over a whole performance: every hit once on its first
// sample, and few clear rises besides.
TEST(ListenAttacks, EveryHitOnItsFirstSample) {
  for (const Performance& p : kPerformances) {
    SCOPED_TRACE(p.name);
    testing::TempFolder dir;
    const Rendered r = Render(p, dir, 30, 120);
    AttackList list;
    std::string error;
    ASSERT_TRUE(ListAttacks(r.path, 0, 1e9, list, error)) << error;
    std::size_t clear = 0;
    for (const Attack& a : list.attacks) clear += a.strengthDb >= 10;
    EXPECT_LE(clear, r.beats.size() + r.beats.size() / 10);
    for (std::int64_t beat : r.beats) {
      const bool found = std::any_of(list.attacks.begin(), list.attacks.end(), [&](const Attack& a) {
        return std::abs(a.sample - beat) <= Tolerance(p);
      });
      const auto nearest = std::min_element(list.attacks.begin(), list.attacks.end(), [&](const Attack& a, const Attack& b) {
        return std::abs(a.sample - beat) < std::abs(b.sample - beat);
      });
      EXPECT_TRUE(found) << "hit at " << beat << ", nearest attack " << nearest->sample - beat << " samples off, "
                         << nearest->strengthDb << " dB";
    }
    AttackList part;
    const double from = static_cast<double>(r.beats[10]) / p.rate - 0.01;
    const double to = static_cast<double>(r.beats[12]) / p.rate - 0.01;
    ASSERT_TRUE(ListAttacks(r.path, from, to, part, error)) << error;
    for (const Attack& a : part.attacks) {
      EXPECT_TRUE(std::find_if(list.attacks.begin(), list.attacks.end(), [&](const Attack& b) {
                    return b.sample == a.sample;
                  }) != list.attacks.end()) << "a stretch alone finds what the whole file does";
    }
  }
}

// A recording cut off in the middle of a loud tone: its end sounds like a
// click against the silence past it, but nothing follows to hear.
TEST(ListenAttacks, NoneWhereTheRecordingIsCutOff) {
  constexpr std::uint32_t kRate = 44100;
  std::vector<float> tone(kRate / 2);
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = 0.3f * static_cast<float>(std::sin(0.0285 * static_cast<double>(i) + 1.0));
  testing::TempFolder dir;
  const std::string path = dir.File("cut.wav");
  std::string error;
  ASSERT_TRUE(testing::WriteRecording(path, tone, 1, kRate, SF_FORMAT_WAV | SF_FORMAT_PCM_16, error)) << error;
  AttackList list;
  ASSERT_TRUE(ListAttacks(path, 0, 1e9, list, error)) << error;
  for (const Attack& a : list.attacks) EXPECT_LT(a.sample, static_cast<std::int64_t>(tone.size()) - 441) << a.strengthDb;
}

}  // namespace
}  // namespace beatmarks
