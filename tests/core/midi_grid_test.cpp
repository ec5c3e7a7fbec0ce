#include "core/midi_grid.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/multiprecision/cpp_int.hpp>
#include <map>
#include <ostream>
#include <random>

#include "e2e/run_program.h"
#include "midi_bytes.h"

namespace beatmarks {
namespace {

using namespace testing;
using Z = boost::multiprecision::cpp_int;
using Q = boost::multiprecision::cpp_rational;

Z Wide(unsigned __int128 v) { return (Z(std::uint64_t(v >> 64)) << 64) + std::uint64_t(v); }
Q Value(const TickFraction& t) { return Q(Wide(t.num), Z(t.den)); }

MidiMap Map(int tpq, std::vector<MidiMeter> meters, std::uint64_t end) {
  return {1, tpq, {{0, 500000}}, std::move(meters), end};
}

struct UnitCase {
  const char* name;
  MidiMeter meter;  // at the end of a first measure of 4/4
  BeatUnit unit;
  std::uint32_t beats;
  Q beatTicks;
  std::string error;
};

void PrintTo(const UnitCase& c, std::ostream* os) { *os << c.name; }

class MidiBeatUnit : public ::testing::TestWithParam<UnitCase> {};

TEST_P(MidiBeatUnit, BeatsPerMeasure) {
  const UnitCase& c = GetParam();
  MidiMeter second = c.meter;
  second.tick = 384;
  std::string error;
  auto grid = BuildGrid(Map(96, {{0, 4, 2, 24}, second}, 2000), c.unit, error);
  EXPECT_EQ(error, c.error);
  if (!grid) return;
  EXPECT_EQ(grid->runs[1].beatsPerMeasure, c.beats);
  EXPECT_EQ(Value(grid->runs[1].beatTicks), c.beatTicks);
}

const UnitCase kUnits[] = {
    {"SixEightDenominator", {0, 6, 3, 36}, BeatUnit::kDenominator, 6, 48, ""},
    {"SixEightQuarter", {0, 6, 3, 36}, BeatUnit::kQuarter, 3, 96, ""},
    {"SixEightClick", {0, 6, 3, 36}, BeatUnit::kClick, 2, 144, ""},
    {"SevenEightDenominator", {0, 7, 3, 12}, BeatUnit::kDenominator, 7, 48, ""},
    {"SevenEightEighthClick", {0, 7, 3, 12}, BeatUnit::kClick, 7, 48, ""},
    {"SevenEightQuarter", {0, 7, 3, 12}, BeatUnit::kQuarter, 0, 0,
     "measure 2: 7/8 is not a whole number of quarter-note beats"},
    {"SevenEightQuarterClick", {0, 7, 3, 24}, BeatUnit::kClick, 0, 0,
     "measure 2: 7/8 is not a whole number of clicks of 24 MIDI clocks"},
    {"FiveFour", {0, 5, 2, 24}, BeatUnit::kClick, 5, 96, ""},
    {"ThreeSixtyFourths", {0, 3, 6, 3}, BeatUnit::kDenominator, 3, 6, ""},
    {"NoClick", {0, 6, 3, 0}, BeatUnit::kClick, 0, 0, "measure 2: 6/8 has a click of 0 MIDI clocks"},
};

INSTANTIATE_TEST_SUITE_P(Meters, MidiBeatUnit, ::testing::ValuesIn(kUnits));

struct EndCase {
  const char* name;
  MidiMap map;
  std::uint32_t measures;
  Q end;
  std::string error;
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class MidiMapEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(MidiMapEnd, MeasuresAndEnd) {
  const EndCase& c = GetParam();
  std::string error;
  auto grid = BuildGrid(c.map, BeatUnit::kDenominator, error);
  EXPECT_EQ(error, c.error);
  if (!grid) return;
  EXPECT_EQ(grid->measureCount, c.measures);
  EXPECT_EQ(Value(grid->endTick), c.end);
}

const EndCase kEnds[] = {
    {"Empty", Map(96, {{0, 4, 2, 24}}, 0), 0, 0, ""},
    {"OnBarLine", Map(96, {{0, 4, 2, 24}}, 768), 2, 768, ""},
    {"PastBarLine", Map(96, {{0, 4, 2, 24}}, 769), 3, 1152, ""},
    {"FractionalMeasures", Map(1, {{0, 3, 3, 12}}, 2), 2, 3, ""},  // 3/8 is 1.5 ticks
    {"CutAtEnd", Map(96, {{0, 4, 2, 24}, {100, 3, 2, 24}}, 100), 1, 100, ""},
    {"TooManyMeasures", Map(1, {{0, 1, 8, 24}}, 1 << 26), 0, 0, "more than 2147483647 measures"},
    {"TooLong", Map(96, {{0, 4, 2, 24}}, kMaxGridTick + 1), 0, 0,
     "end of track at tick 281474976710657, past the limit of 2^48"},
    {"NoTempo", {0, 96, {}, {{0, 4, 2, 24}}, 1}, 0, 0, "no tempo or time signature at tick 0"},
};

INSTANTIATE_TEST_SUITE_P(Maps, MidiMapEnd, ::testing::ValuesIn(kEnds));

TEST(MidiGrid, MeterChangeOffTheBarLine) {
  std::string error;
  auto grid = BuildGrid(Map(96, {{0, 4, 2, 24}, {528, 3, 2, 24}}, 1114), BeatUnit::kQuarter, error);
  ASSERT_TRUE(grid) << error;
  ASSERT_EQ(grid->runs.size(), 2u);
  const MeterRun& a = grid->runs[0];
  const MeterRun& b = grid->runs[1];
  EXPECT_EQ(std::vector<std::uint64_t>({a.firstMeasure, a.beatsPerMeasure, a.wholeMeasures, a.cutBeats}),
            std::vector<std::uint64_t>({1, 4, 1, 2}));
  EXPECT_EQ(std::vector<std::uint64_t>({b.firstMeasure, b.startTick, b.wholeMeasures, b.cutBeats}),
            std::vector<std::uint64_t>({3, 528, 3, 0}));
  DivisionCursor cursor(*grid, 2, 2);
  std::vector<Q> ticks;
  for (GridDivision d; cursor.Next(d) && d.measure == 2;) ticks.push_back(Value(d.tick));
  EXPECT_EQ(ticks, std::vector<Q>({384, 432, 480}));  // the half beat at the change is dropped
}

TEST(MidiGrid, ShippedExample) {
  std::string error;
  auto map = ReadMidi(ReadFile(BEATMARKS_EXAMPLES "/ramp-and-6-8.mid"), error);
  ASSERT_TRUE(map) << error;
  auto grid = BuildGrid(*map, BeatUnit::kClick, error);
  ASSERT_TRUE(grid) << error;
  EXPECT_EQ(grid->measureCount, 8u);
  EXPECT_EQ(grid->tempos.size(), 17u);
  ASSERT_EQ(grid->runs.size(), 2u);
  EXPECT_EQ(grid->runs[1].firstMeasure * 10 + grid->runs[1].beatsPerMeasure, 52u);
}

}  // namespace
}  // namespace beatmarks
