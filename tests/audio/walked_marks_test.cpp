// The marks of a range taken a window at a time, windows ending inside
// measures of tens of thousands of divisions and stretches that begin inside
// a measure, against one walk of every division.
#include "audio/walked_marks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

#include "core/number_scan.h"
#include "tmap/text_map_timeline.h"
#include "midi/midi_grid.h"
#include "midi/midi_timeline.h"

namespace beatmarks {
namespace {

constexpr std::uint32_t kRate = 1000;

class Walked final : public BeatSink {
 public:
  void Pass(const Stretch&, DivisionCount) override {}
  void Division(const BeatEvent& e) override {
    const LinearTime& time = *e.stretch.time;
    const MarkKind kind = e.division != 0 ? MarkKind::kDivision : e.beat == 0 ? MarkKind::kDownbeat : MarkKind::kBeat;
    marks.push_back({time.Sample(e.index, kRate), e.measure + 1, e.beat + 1, kind});
    end = std::max(time.Sample(e.index + 1, kRate), time.Sample(e.index, kRate) + 1);
  }
  void MeasureEnd(std::int64_t) override {}
  std::vector<BeatMark> marks;
  std::int64_t end = 0;
};

auto Fields(const BeatMark& m) { return std::tuple(m.frame, m.measure, m.beat, m.kind); }

// Two text sections, the second of 40,000 beats a measure.
TimelineMaker TextMap(std::int32_t divisions) {
  static TempoArray tempo{120.0f, 3000.0f};
  static CountArray beats{3, 40000}, measures{2, 2};
  static TempoTexts texts{MapTempoText("120"), MapTempoText("3000")};
  return [divisions] {
    return std::make_unique<TextMapTimeline>(SectionTable{2, tempo, beats, measures, &texts}, divisions, Rational(0));
  };
}

// Measures of 255/4 with a tempo change every 1000 ticks, inside beats.
TimelineMaker MidiMap(std::int32_t divisions) {
  static const MidiGrid grid = [] {
    std::vector<MidiTempo> tempos;
    for (std::uint64_t tick = 0; tick < 3 * 24480; tick += 1000) {
      tempos.push_back({tick, 20000 + static_cast<std::uint32_t>(tick % 7) * 3000});
    }
    std::string error;
    return *BuildGrid({1, 96, tempos, {{0, 255, 2, 24}}, 3 * 24480}, BeatUnit::kDenominator, error);
  }();
  return [divisions] { return std::make_unique<MidiTimeline>(grid, divisions, Rational(0)); };
}

TEST(WalkedMarks, WindowsInsideLongMeasures) {
  struct Case {
    const char* name;
    TimelineMaker make;
    std::int32_t divisions;
    std::int64_t start, stop;
  };
  const Case cases[] = {
      {"text, from the wide section on", TextMap(1), 1, 1, 5},
      {"text, two divisions, one wide measure", TextMap(2), 2, 3, 3},
      {"midi, 150 divisions a beat", MidiMap(150), 150, 0, 2},
      {"midi, from the second measure", MidiMap(100), 100, 1, 9},
  };
  for (const Case& c : cases) {
    Walked all;
    WalkBeats(*c.make(), c.start, c.stop, c.divisions, all);
    WalkedMarks marks(c.make, kRate, c.start, c.stop, c.divisions);
    ASSERT_GT(all.marks.size(), 40000u) << c.name;
    for (int pass = 0; pass < 2; ++pass) {
      marks.Restart();
      std::size_t n = 0;
      for (BeatMark mark; marks.Next(mark); ++n) {
        ASSERT_LT(n, all.marks.size()) << c.name;
        ASSERT_EQ(Fields(mark), Fields(all.marks[n])) << c.name << " mark " << n;
      }
      EXPECT_EQ(n, all.marks.size()) << c.name;
    }
    EXPECT_EQ(marks.MarkerCount(), std::count_if(all.marks.begin(), all.marks.end(), HasMarker)) << c.name;
    EXPECT_EQ(marks.EndFrame(), all.end) << c.name;
  }
}

}  // namespace
}  // namespace beatmarks
