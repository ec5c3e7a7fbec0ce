#include "midi/midi_grid.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "core/section_walk.h"
#include "midi/midi_timeline.h"

namespace beatmarks {
namespace {

std::string Text(unsigned __int128 num, std::uint64_t den) {
  std::string text = std::to_string(std::uint64_t(num));
  return den == 1 ? text : text + "/" + std::to_string(den);
}

// Each run as "first measure@tick beats x beat length, whole measures
// [+ beats of a cut measure]", then the measure count and the end.
std::string Layout(const MidiGrid& g) {
  std::string text;
  for (const MeterRun& r : g.runs) {
    text += std::to_string(r.firstMeasure) + "@" + std::to_string(r.startTick) + " " +
            std::to_string(r.beatsPerMeasure) + "x" + Text(r.beatTicks.num, r.beatTicks.den) +
            " w" + std::to_string(r.wholeMeasures) +
            (r.cutBeats ? " +" + std::to_string(r.cutBeats) : "") + ", ";
  }
  return text + std::to_string(g.measureCount) + " to " + Text(g.endTick.num, g.endTick.den);
}

struct GridCase {
  const char* name;
  int tpq;
  std::vector<MidiMeter> meters;
  std::uint64_t end;
  BeatUnit unit;
  std::string layout;  // or the refusal
};

void PrintTo(const GridCase& c, std::ostream* os) { *os << c.name; }

class MidiGridLayout : public ::testing::TestWithParam<GridCase> {};

TEST_P(MidiGridLayout, RunsOrRefusal) {
  const GridCase& c = GetParam();
  std::vector<MidiTempo> tempos{{0, 500000}};
  if (c.tpq == 0) tempos.clear();
  std::string error;
  auto grid = BuildGrid({1, c.tpq, tempos, c.meters, c.end}, c.unit, error);
  EXPECT_EQ(grid ? Layout(*grid) : error, c.layout);
}

using enum BeatUnit;
const MidiMeter k44{0, 4, 2, 24};
const GridCase kGrids[] = {
    {"SixEightInEighths", 96, {{0, 6, 3, 36}}, 600, kDenominator, "1@0 6x48 w3, 3 to 864"},
    {"SixEightInQuarters", 96, {{0, 6, 3, 36}}, 600, kQuarter, "1@0 3x96 w3, 3 to 864"},
    {"SixEightInClicks", 96, {{0, 6, 3, 36}}, 600, kClick, "1@0 2x144 w3, 3 to 864"},
    {"SevenEightInClicks", 96, {k44, {384, 7, 3, 12}}, 800, kClick,
     "1@0 4x96 w1, 2@384 7x48 w2, 3 to 1056"},
    {"SevenEightInQuarters", 96, {k44, {384, 7, 3, 12}}, 800, kQuarter,
     "measure 2: 7/8 is not a whole number of quarter-note beats"},
    {"SevenEightInQuarterClicks", 96, {k44, {384, 7, 3, 24}}, 800, kClick,
     "measure 2: 7/8 is not a whole number of clicks of 24 MIDI clocks"},
    {"NoClick", 96, {{0, 6, 3, 0}}, 1, kClick, "measure 1: 6/8 has a click of 0 MIDI clocks"},
    {"FiveFour", 96, {{0, 5, 2, 24}}, 480, kClick, "1@0 5x96 w1, 1 to 480"},
    {"FractionalBeats", 1, {{0, 3, 3, 12}}, 2, kDenominator, "1@0 3x1/2 w2, 2 to 6/2"},
    {"CutOffTheBarLine", 96, {k44, {528, 3, 2, 24}}, 1114, kQuarter,
     "1@0 4x96 w1 +2, 3@528 3x96 w3, 5 to 1392"},
    {"CutAtTheEnd", 96, {k44, {100, 3, 2, 24}}, 100, kQuarter, "1@0 4x96 w0 +2, 1 to 100"},
    {"Empty", 96, {k44, {0, 3, 2, 24}}, 0, kQuarter, "0 to 0"},
    {"EndOnBarLine", 96, {k44}, 768, kQuarter, "1@0 4x96 w2, 2 to 768"},
    {"EndPastBarLine", 96, {k44}, 769, kQuarter, "1@0 4x96 w3, 3 to 1152"},
    {"TooManyMeasures", 1, {{0, 1, 8, 24}}, 1 << 26, kDenominator, "more than 2147483647 measures"},
    {"TooLong", 96, {k44}, kMaxGridTick + 1, kQuarter,
     "end of track at tick 281474976710657, past the limit of 2^48"},
    {"NoTempo", 0, {k44}, 1, kQuarter, "no tempo or time signature at tick 0"},
};

INSTANTIATE_TEST_SUITE_P(Meters, MidiGridLayout, ::testing::ValuesIn(kGrids));

TEST(MidiGrid, CutMeasureKeepsWhatBeginsBeforeTheChange) {
  std::string error;
  auto grid = BuildGrid({1, 96, {{0, 500000}}, {k44, {528, 3, 2, 24}}, 600}, kQuarter, error);
  ASSERT_TRUE(grid) << error;
  // Measure 2 in halves of a beat, at 96 ticks and half a second a quarter.
  struct Times : BeatSink {
    void Pass(const Stretch&, DivisionCount) override {}
    void MeasureEnd(std::int64_t) override {}
    void Division(const BeatEvent& e) override {
      Rational t = e.stretch.time->At(e.index);
      text += t.numerator().ToDecimal() + "/" + t.denominator().ToDecimal() + " ";
    }
    std::string text;
  } times;
  MidiTimeline timeline(*grid, 2, Rational());
  WalkBeats(timeline, 1, 1, 2, times);
  // Ticks 384, 432 and 480; not the half beat at the change, 528.
  EXPECT_EQ(times.text, "2/1 9/4 5/2 ");
}

// Each stretch's exact times and start, with offsets that make fractions of
// machine integers and one (40 decimals) that does not: a change on a
// division starts there, one inside a beat (at 0.25 s) before its first
// division (0.75 s).
TEST(MidiGrid, StretchTimesWithOffsets) {
  std::string error;
  auto grid = BuildGrid({1, 96, {{0, 500000}, {48, 1000000}}, {k44}, 384}, kQuarter, error);
  ASSERT_TRUE(grid) << error;
  const auto q = [](std::int64_t n, std::int64_t d) { return Rational(BigInt(n), BigInt(d)); };
  for (const char* text : {"0", "1.5", "0.1234567890123456789012345678901234567891"}) {
    const Rational offset = *Rational::FromDecimal(text);
    MidiTimeline timeline(*grid, 1, offset);
    std::vector<std::vector<Rational>> seen;
    WalkStretches(timeline, StretchTimes::kEvery, [&](Stretch& s, Timeline&) {
      seen.push_back({s.Start(), s.time->At(0), s.time->At(1)});
      return true;
    });
    const std::vector<std::vector<Rational>> want = {
        {offset, offset, offset + q(1, 2)}, {offset + q(1, 4), offset + q(3, 4), offset + q(7, 4)}};
    EXPECT_EQ(seen, want) << text;
  }
}

}  // namespace
}  // namespace beatmarks
