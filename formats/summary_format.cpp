#include "formats/summary_format.h"

#include <charconv>
#include <functional>
#include <optional>
#include <string>

#include "core/number_scan.h"
#include "core/section_walk.h"
#include "core/terminal_text.h"
#include "exact/exact_time.h"
#include "formats/measure_summary.h"
#include "formats/summary_table.h"

namespace beatmarks {
namespace {

struct Row {
  std::string name, first, start, tempo, meter, measures, length;
};

std::string TempoOf(const Stretch& s) {
  std::string text;
  if (s.HasTempoText()) return PlainDecimal(*s.tempoText);
  char digits[32];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, s.tempo).ptr);
  if (s.HasQuarterTempo()) {
    text += " (quarter ";
    text.append(digits, std::to_chars(digits, digits + sizeof digits, s.quarterTempo, std::chars_format::general, 9).ptr);
    text += ")";
  }
  return text;
}

constexpr std::size_t kColumns = 7;
using Table = SummaryTable<kColumns>;

Table::Cells Cells(const Row& r) {
  return {&r.name, &r.first, &r.start, &r.tempo, &r.meter, &r.measures, &r.length};
}

struct Totals {
  Rational start, end;
  std::int64_t beats = 0;
};

// A row being gathered: a section, and the MIDI stretches that change the
// tempo inside its measures (their beats' tempos shown as a spread).
struct HeldRow {
  Row row;
  Rational start;
  const std::string* name = nullptr;
  std::int64_t measures = 0;
  int stretches = 0;
  TempoSpread beats, quarters;

  void Take(const Stretch& s, std::int64_t begun) {
    measures += s.measures;
    ++stretches;
    beats.Add(static_cast<double>(s.tempo), begun);
    quarters.Add(s.quarterTempo, begun);
  }
  const Row& Finish(const Rational& end) {
    row.length = Clock(end - start);
    row.measures = std::to_string(measures);
    if (stretches > 1 && !beats.Empty()) {
      row.tempo = beats.Text() + (quarters.Empty() ? "" : " (quarter " + quarters.Text() + ")");
    }
    return row;
  }
};

bool StartsRow(const Stretch& s, const HeldRow& held) {
  return s.source != StretchSource::kMidi || s.startsSection || s.name != held.name;
}

// Each section's row, in order, over a fresh timeline; one row is held back
// until the next section's start gives its length.
Totals WalkRows(const WalkPlan& plan, const std::function<void(const Row&)>& row) {
  Totals totals;
  std::optional<HeldRow> held;
  WalkStretches(*plan.timelines(), StretchTimes::kAsked, [&](Stretch& s, Timeline& timeline) {
    if (s.divisions == 0) return true;
    timeline.AddTimes(s);
    const Rational start = s.Start();
    const std::int64_t begun = BeatsBegun(s, plan.divisions);
    totals.end = s.time->At(s.divisions);
    totals.beats += begun;
    if (held && !StartsRow(s, *held)) {
      held->Take(s, begun);
      return true;
    }
    // A section lasts until the next begins (a MIDI change may fall inside a beat).
    if (held) {
      row(held->Finish(start));
    } else {
      totals.start = start;
    }
    held.emplace();
    held->row = Row{s.name != nullptr ? TerminalText(*s.name, "\uFFFD") : s.Label(),
                    std::to_string(s.firstMeasure + plan.firstMeasureNumber), Clock(start), TempoOf(s),
                    MeterOf(s), "", ""};
    held->start = start;
    held->name = s.name;
    held->Take(s, begun);
    return true;
  });
  if (held) row(held->Finish(totals.end));
  return totals;
}

bool IsFitted(const WalkPlan& plan) {
  Stretch first;
  return plan.timelines()->Next(first) && first.source == StretchSource::kFitted;
}

}  // namespace

// Two walks, so that memory stays flat however many sections: the first
// finds the columns' widths, the second writes the rows padded to them.
void WriteSummary(const WalkPlan& plan, ExportFile& out) {
  if (IsFitted(plan)) return WriteMeasureSummary(plan, out);
  const Row header{"Section", "First", "Start", "Tempo", "Meter", "Measures", "Length"};
  Table table;
  table.right = {false, true, false, false, false, true, false};
  table.Widen(Cells(header));
  WalkRows(plan, [&](const Row& r) { table.Widen(Cells(r)); });
  table.Write(Cells(header), out);
  const Totals totals = WalkRows(plan, [&](const Row& r) { table.Write(Cells(r), out); });
  out.Put("\nTotal " + Clock(totals.end - totals.start) + ", " + std::to_string(totals.beats) +
          " beats\n");
}

}  // namespace beatmarks
