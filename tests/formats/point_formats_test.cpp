#include "formats/point_formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "core/number_scan.h"
#include "exact/rounded_steps.h"
#include "tmap/text_map_timeline.h"

namespace beatmarks {
namespace {

// A generated map and what is asked of it.
struct MapRun {
  int sections = 1;
  TempoArray tempo{};
  TempoTexts texts{};
  CountArray beats{}, measures{};
  std::int32_t divisions = 1;
  std::uint32_t rate = 44100;
  Rational offset;
  std::int64_t start = 0, stop = 0;
};

// Tempos that step in decimals, in halves of a sample or a nanosecond, and
// slowly enough that times pass 2^64 nanoseconds and 2^63 samples.
MapRun Generated(std::mt19937_64& random) {
  static const char* const kTempos[] = {"97.3333", "120", "90", "112.5", "0.001", "60.000001",
                                        "1e-6", "1e-7", "144.6", "33.3", "7", "999.999"};
  static const std::uint32_t kRates[] = {44100, 48000, 96000, 22050, 1, 8000, 4294967295u};
  static const char* const kOffsets[] = {"0", "0.1", "12.345678901", "0.0000000005", "3"};
  const auto pick = [&](std::uint64_t n) { return static_cast<std::size_t>(random() % n); };
  MapRun run;
  run.sections = 1 + static_cast<int>(pick(5));
  std::int64_t total = 0;
  for (int i = 0; i < run.sections; ++i) {
    const char* tempo = kTempos[pick(std::size(kTempos))];
    run.texts[i] = MapTempoText(tempo);
    run.tempo[i] = std::stof(tempo);
    run.beats[i] = 1 + static_cast<std::int32_t>(pick(7));
    run.measures[i] = pick(6) == 0 ? 600 : 1 + static_cast<std::int32_t>(pick(12));
    total += run.measures[i];
  }
  run.divisions = 1 + static_cast<std::int32_t>(pick(16));
  run.rate = kRates[pick(std::size(kRates))];
  run.offset = *Rational::FromDecimal(kOffsets[pick(std::size(kOffsets))]);
  run.start = static_cast<std::int64_t>(pick(static_cast<std::uint64_t>(total)));
  run.stop = run.start + static_cast<std::int64_t>(pick(static_cast<std::uint64_t>(total - run.start)));
  return run;
}

// Every map's lines, one after another, in one file (each file is synced).
std::string Written(const std::vector<MapRun>& runs, PointSink::Kind kind, bool stepped,
                    const TimecodeRate* timecode = nullptr) {
  const std::string name = ::testing::TempDir() + "points";
  {
    ExportFile out;
    EXPECT_TRUE(out.Open(name, WriteMode::kReplace));
    for (const MapRun& run : runs) {
      PointSink sink(out, kind, run.rate, run.divisions, nullptr, timecode);
      if (!stepped) sink.StepNone();
      TextMapTimeline timeline({run.sections, run.tempo, run.beats, run.measures, &run.texts}, run.divisions,
                               run.offset);
      WalkBeats(timeline, run.start, run.stop, run.divisions, sink);
    }
    EXPECT_TRUE(out.Finish());
  }
  std::ifstream file(name, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// Every line the stepped roundings write is the line LinearTime's own
// rounding writes.
TEST(PointSink, SteppedLinesAreTheExactOnes) {
  std::mt19937_64 random(25);
  std::vector<MapRun> runs;
  for (int i = 0; i < 400; ++i) runs.push_back(Generated(random));
  // The last two again with timecodes, which the exact way makes in fractions.
  const TimecodeRate df = *TimecodeRateNamed("29.97df"), film = *TimecodeRateNamed("23.976");
  const std::pair<PointSink::Kind, const TimecodeRate*> ways[] = {
      {PointSink::Kind::kCsv, nullptr}, {PointSink::Kind::kLabels, nullptr},
      {PointSink::Kind::kCsv, &df}, {PointSink::Kind::kLabels, &film}};
  for (const auto& [kind, timecode] : ways) {
    const std::string exact = Written(runs, kind, false, timecode), stepped = Written(runs, kind, true, timecode);
    const auto [at, _] = std::mismatch(exact.begin(), exact.end(), stepped.begin(), stepped.end());
    const auto line = exact.rfind('\n', static_cast<std::size_t>(at - exact.begin()));
    ASSERT_TRUE(stepped == exact) << "first difference after: "
                                  << exact.substr(line == std::string::npos ? 0 : line, 80);
    EXPECT_GT(exact.size(), 1000000u);
  }
}

// A listened run's CSV ends each line with its beat's origin, stepped or
// exact; divisions take their beat's, a beat not listed none. Labels stay
// as they are.
TEST(PointSink, SourceColumnFromTheBeatsOrigins) {
  const std::vector<OriginAt> origins = {{0, 0, BeatOrigin::kSnapped}, {0, 1, BeatOrigin::kTapped},
                                         {1, 0, BeatOrigin::kPlaced}, {1, 1, BeatOrigin::kFollowed}};
  const TempoArray tempo{120};
  const CountArray beats{3}, measures{2};
  const std::string name = ::testing::TempDir() + "sourced";
  for (const bool stepped : {true, false}) {
    for (const auto kind : {PointSink::Kind::kCsv, PointSink::Kind::kLabels}) {
      ExportFile out;
      ASSERT_TRUE(out.Open(name, WriteMode::kReplace));
      PointSink sink(out, kind, 4, 2, &origins);
      if (!stepped) sink.StepNone();
      TextMapTimeline timeline({1, tempo, beats, measures}, 2, Rational());
      WalkBeats(timeline, 0, 1, 2, sink);
      ASSERT_TRUE(out.Finish());
      std::ifstream file(name, std::ios::binary);
      std::ostringstream bytes;
      bytes << file.rdbuf();
      const std::string csv =
          "time,frame,measure,beat,division,label,source\r\n"
          "0.000000000,0,1,1,1,1.1.1,snapped\r\n0.250000000,1,1,1,2,1.1.2,snapped\r\n"
          "0.500000000,2,1,2,1,1.2.1,tapped\r\n0.750000000,3,1,2,2,1.2.2,tapped\r\n"
          "1.000000000,4,1,3,1,1.3.1,\r\n1.250000000,5,1,3,2,1.3.2,\r\n"
          "1.500000000,6,2,1,1,2.1.1,placed\r\n1.750000000,7,2,1,2,2.1.2,placed\r\n"
          "2.000000000,8,2,2,1,2.2.1,followed\r\n2.250000000,9,2,2,2,2.2.2,followed\r\n"
          "2.500000000,10,2,3,1,2.3.1,\r\n2.750000000,11,2,3,2,2.3.2,\r\n";
      if (kind == PointSink::Kind::kCsv) {
        EXPECT_EQ(bytes.str(), csv) << stepped;
      } else {
        EXPECT_EQ(bytes.str().substr(0, 48), "0.000000\t0.000000\t1.1.1\n0.250000\t0.250000\t1.1.2\n");
      }
    }
  }
}

// Where the stepped values end: n at 2^64 - 1, and 2^64 units.
TEST(RoundedSteps, SettlesWhatLinearTimeDoes) {
  const struct {
    const char *base, *step;
    unsigned __int128 first;
    std::uint32_t scale;
  } kCases[] = {
      {"0", "0.000000001", UINT64_MAX - 2, 1000000000},
      {"0.5", "0.3333333333", 0, 1},
      {"18446744070", "0.7", 0, 1000000000},  // past 2^64 nanoseconds
      {"0", "0.0000000005", 7, 1000000000},   // every other one a half
      {"1", "0.125", 3, 4294967295u},
  };
  for (const auto& c : kCases) {
    const LinearTime time(*Rational::FromDecimal(c.base), *Rational::FromDecimal(c.step));
    RoundedSteps steps;
    ASSERT_TRUE(steps.Start(time, c.first, c.scale));
    int settled = 0;
    for (unsigned __int128 n = c.first; n < c.first + 12; ++n, steps.Next()) {
      std::uint64_t value = 0;
      if (!steps.Settled(value)) continue;
      ++settled;
      ASSERT_LE(n, UINT64_MAX);
      const std::int64_t held = time.Sample(n, c.scale);  // held at INT64_MAX
      EXPECT_EQ(std::min<std::uint64_t>(value, INT64_MAX), static_cast<std::uint64_t>(held)) << c.base;
    }
    EXPECT_GT(settled, 0) << c.base;
  }
}

}  // namespace
}  // namespace beatmarks
