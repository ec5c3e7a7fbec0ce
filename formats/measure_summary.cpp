#include "formats/measure_summary.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

#include "core/section_walk.h"
#include "formats/summary_table.h"

namespace beatmarks {
namespace {

struct Row {
  std::string measure, start, tempo, meter, beats;
};

constexpr std::size_t kColumns = 5;
using Table = SummaryTable<kColumns>;

Table::Cells Cells(const Row& r) { return {&r.measure, &r.start, &r.tempo, &r.meter, &r.beats}; }

// A measure being gathered from the stretches its beats lie in.
struct Measure {
  std::int64_t number = 0;
  Rational start;
  std::string meter;
  std::int64_t beats = 0;
  TempoSpread tempo;

  Row Shown() const { return {std::to_string(number), Clock(start), tempo.Text(), meter, std::to_string(beats)}; }
};

struct Totals {
  Rational start, end;
  std::int64_t beats = 0;
};

// Each measure's row, in order: a stretch's beats are handed out to the
// measures they lie in, and a measure is shown once the next one begins.
Totals WalkMeasures(const WalkPlan& plan, const std::function<void(const Row&)>& row) {
  Totals totals;
  std::optional<Measure> held;
  const auto perBeat = static_cast<DivisionCount>(plan.divisions);
  WalkStretches(*plan.timelines(), StretchTimes::kAsked, [&](Stretch& s, Timeline& timeline) {
    if (s.divisions == 0) return true;
    timeline.AddTimes(s);
    if (!held) totals.start = s.time->At(0);
    totals.end = s.time->At(s.divisions);
    std::int64_t left = BeatsBegun(s, plan.divisions), measure = s.firstMeasure;
    std::int64_t beat = s.firstBeat;
    totals.beats += left;
    for (DivisionCount index = 0; left > 0; ++measure, beat = 0) {
      if (beat == 0 || !held) {
        if (held) row(held->Shown());
        held = Measure{measure + plan.firstMeasureNumber, s.time->At(index), MeterOf(s), 0, {}};
      }
      const std::int64_t taken = std::min<std::int64_t>(left, s.beatsPerMeasure - beat);
      held->beats += taken;
      held->tempo.Add(static_cast<double>(s.tempo), taken);
      left -= taken;
      index += static_cast<DivisionCount>(taken) * perBeat;
    }
    return true;
  });
  if (held) row(held->Shown());
  return totals;
}

}  // namespace

void WriteMeasureSummary(const WalkPlan& plan, ExportFile& out) {
  const Row header{"Measure", "Start", "Tempo (min\u2013mean\u2013max)", "Meter", "Beats"};
  Table table;
  table.right = {true, false, false, false, true};
  table.Widen(Cells(header));
  WalkMeasures(plan, [&](const Row& r) { table.Widen(Cells(r)); });
  table.Write(Cells(header), out);
  const Totals totals = WalkMeasures(plan, [&](const Row& r) { table.Write(Cells(r), out); });
  out.Put("\nTotal " + Clock(totals.end - totals.start) + ", " + std::to_string(totals.beats) +
          " beats\n");
}

}  // namespace beatmarks
