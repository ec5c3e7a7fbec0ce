#include "formats/measure_summary.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "core/section_walk.h"
#include "formats/exact_tempo.h"
#include "formats/summary_table.h"

namespace beatmarks {
namespace {

constexpr std::size_t kColumns = 5;
using Table = SummaryTable<kColumns>;

// A row's texts, kept from one measure to the next so that rows allocate
// nothing once the texts have grown.
struct Row {
  std::string measure, tempo, meter, beats;
  ClockText start;

  Table::Cells Cells() const { return {&measure, &start.clock, &tempo, &meter, &beats}; }
};

void SetNumber(std::int64_t value, std::string& text) {
  char digits[24];
  text.assign(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// A measure being gathered from the stretches its beats lie in.
struct Measure {
  std::int64_t number = 0;
  std::int64_t beats = 0;
  ExactTempoSpread tempo;
  Row row;

  void Begin(std::int64_t shownNumber, const Stretch& s, DivisionCount index) {
    number = shownNumber;
    beats = 0;
    tempo.Clear();
    ClockAt(*s.time, index, row.start);
    row.meter = MeterOf(s);
  }
  const Row& Finish() {
    SetNumber(number, row.measure);
    SetNumber(beats, row.beats);
    row.tempo.clear();
    tempo.AppendText(row.tempo);
    return row;
  }
};

struct Totals {
  Rational start, end;
  std::int64_t beats = 0;
  std::int64_t stretches = 0;  // that hold divisions
};

// Each measure's row, in order: a stretch's beats are handed out to the
// measures they lie in, and a measure is shown once the next one begins.
// A stretch's times are made only where a measure begins in it, and in the
// last stretch (`last`, counted from 1 by a walk before; 0 for none) for
// the end of the map.
template <typename ShowRow>
Totals WalkMeasures(const WalkPlan& plan, std::int64_t last, ShowRow&& show) {
  Totals totals;
  Measure held;
  bool holding = false;
  const auto perBeat = static_cast<DivisionCount>(plan.divisions);
  WalkStretches(*plan.timelines(), StretchTimes::kAsked, [&](Stretch& s, Timeline& timeline) {
    if (s.divisions == 0) return true;
    if (++totals.stretches == last) {
      timeline.AddTimes(s);
      totals.end = s.time->At(s.divisions);
    }
    std::int64_t left = BeatsBegun(s, plan.divisions), measure = s.firstMeasure;
    std::int64_t beat = s.firstBeat;
    totals.beats += left;
    for (DivisionCount index = 0; left > 0; ++measure, beat = 0) {
      if (beat == 0 || !holding) {
        if (holding) show(held.Finish());
        timeline.AddTimes(s);  // once: the stretch keeps them
        if (!holding) totals.start = s.time->At(0);
        held.Begin(measure + plan.firstMeasureNumber, s, index);
        holding = true;
      }
      const std::int64_t taken = std::min<std::int64_t>(left, s.beatsPerMeasure - beat);
      held.beats += taken;
      held.tempo.Add(s.tempoNumerator, s.tempoDenominator, taken);
      left -= taken;
      index += static_cast<DivisionCount>(taken) * perBeat;
    }
    return true;
  });
  if (holding) show(held.Finish());
  return totals;
}

}  // namespace

void WriteMeasureSummary(const WalkPlan& plan, ExportFile& out) {
  Row header{"Measure", "Tempo (min\u2013mean\u2013max)", "Meter", "Beats", {}};
  header.start.clock = "Start";
  Table table;
  table.right = {true, false, false, false, true};
  table.Widen(header.Cells());
  const std::int64_t stretches = WalkMeasures(plan, 0, [&](const Row& r) { table.Widen(r.Cells()); }).stretches;
  table.Write(header.Cells(), out);
  const Totals totals = WalkMeasures(plan, stretches, [&](const Row& r) { table.Write(r.Cells(), out); });
  out.Put("\nTotal " + Clock(totals.end - totals.start) + ", " + std::to_string(totals.beats) +
          " beats\n");
}

}  // namespace beatmarks
