#include "fit/snapped_beats.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "listen/performance.h"

namespace beatmarks {
namespace {

constexpr std::uint32_t kRate = 48000;

// Taps as a list of decimals, four a measure, as a text file gives them.
BeatList ListOf(const std::vector<double>& taps) {
  BeatListBuilder builder(4);
  for (std::size_t k = 0; k < taps.size(); ++k) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", taps[k]);
    EXPECT_TRUE(builder.AddDecimal(text, std::nullopt, {BeatSource::Kind::kLine, k + 1}))
        << builder.error();
  }
  BeatList list;
  EXPECT_TRUE(builder.Finish(list)) << builder.error();
  return list;
}

// Hits on every beat but one, and taps on every beat, two of them 4 ms apart
// on one hit (too close for the first to look for its attack): the other
// beats land on their hits' samples, the beat over silence, the crowded tap
// and the second tap on its hit stay tapped and are warned about, and the
// times still increase.
TEST(SnappedBeats, OnTheirSamplesWithTheDoubtsSaid) {
  const std::vector<std::int64_t> beats = testing::DriftingBeats(kRate / 2, 12, 100, 0.03, kRate);
  std::vector<std::int64_t> struck = beats;
  struck.erase(struck.begin() + 6);  // beat 6 is not played
  const std::vector<float> mono = testing::Render(
      testing::HitsOn(struck, {testing::HitKind::kNoiseBurst, testing::HitKind::kKick}),
      beats.back() + kRate, kRate, {}, 3);
  const std::string path = ::testing::TempDir() + "snapped_" + std::to_string(::getpid()) + ".wav";
  std::string error;
  ASSERT_TRUE(testing::WriteRecording(path, mono, 2, kRate, SF_FORMAT_WAV | SF_FORMAT_PCM_24, error));
  std::vector<double> taps = testing::Taps(beats, kRate, 10, 5, 9);
  taps[9] = taps[8] + 0.004;  // a second tap on the attack of beat 8

  BeatList list = ListOf(taps);
  BeatsSnapped snapped;
  ASSERT_TRUE(SnapBeats(path, SnapSettings{}, 1, 5, list, snapped, error)) << error;
  std::remove(path.c_str());

  EXPECT_EQ(list.ticksPerSecond, kRate);
  for (std::size_t k = 1; k < list.size(); ++k) EXPECT_GT(list.ticks[k], list.ticks[k - 1]);
  for (std::size_t k : {0, 1, 5, 7, 10, 11}) {
    EXPECT_NEAR(static_cast<double>(list.ticks[k]), static_cast<double>(beats[k]), kRate / 1000.0)
        << "beat " << k;
  }
  EXPECT_NEAR(static_cast<double>(list.ticks[9]), taps[9] * kRate, 1.0);  // kept as tapped
  ASSERT_EQ(snapped.warnings.size(), 3u);
  EXPECT_EQ(snapped.warnings[0].rfind("beat 2.3 tapped at", 0), 0u) << snapped.warnings[0];
  EXPECT_NE(snapped.warnings[0].find("no clear attack"), std::string::npos);
  EXPECT_EQ(snapped.warnings[2].rfind("beat 3.2 tapped at", 0), 0u) << snapped.warnings[2];
  EXPECT_NE(snapped.warnings[2].find("on the attack of the beat before"), std::string::npos);
  EXPECT_EQ(DescribeSnap(snapped.result).rfind("Snapped ", 0), 0u);
}

// A recording that cannot serve is refused in one line naming it.
TEST(SnappedBeats, RefusedInOneLine) {
  BeatList list = ListOf({0.5, 1.0, 1.5});
  BeatsSnapped snapped;
  std::string error;
  EXPECT_FALSE(SnapBeats("/nonexistent/take.wav", SnapSettings{}, 1, 5, list, snapped, error));
  EXPECT_NE(error.find("/nonexistent/take.wav"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
  EXPECT_EQ(list.ticksPerSecond, 10u);  // the list is left as it was read (tenths)
}

}  // namespace
}  // namespace beatmarks
