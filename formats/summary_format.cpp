#include "formats/summary_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/number_scan.h"
#include "core/section_walk.h"
#include "core/terminal_text.h"
#include "exact/exact_time.h"

namespace beatmarks {
namespace {

struct Row {
  std::string name, first, start, tempo, meter, measures, length;
};

// Seconds as m:ss.mmm (h:mm:ss.mmm from an hour on), then exactly to the
// nanosecond in parentheses.
std::string Clock(const Rational& seconds) {
  std::string millis;
  AppendSecondsAt(seconds, 3, millis);
  std::string exact;
  AppendSecondsAt(seconds, 9, exact);
  const std::size_t point = millis.find('.');
  long long whole = 0;
  auto parsed = std::from_chars(millis.data(), millis.data() + point, whole);
  if (parsed.ec != std::errc()) return exact + " s";  // past any clock
  const std::string fraction = millis.substr(point);
  const long long hours = whole / 3600, minutes = whole / 60 % 60, secs = whole % 60;
  auto two = [](long long n) {
    std::string digits = std::to_string(n);
    if (digits.size() < 2) digits.insert(digits.begin(), '0');
    return digits;
  };
  std::string clock = hours > 0 ? std::to_string(hours) + ":" + two(minutes) : std::to_string(minutes);
  return clock + ":" + two(secs) + fraction + " (" + exact + " s)";
}

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

std::string MeterOf(const Stretch& s) {
  if (s.HasTimeSignature()) {
    return std::to_string(s.meterNumerator) + "/" + std::to_string(s.meterDenominator);
  }
  return std::to_string(s.beatsPerMeasure) + " beats";
}

// Beats begun in the stretch: divisions at the start of a beat.
std::int64_t BeatsIn(const Stretch& s, std::int32_t divisions) {
  const auto perBeat = static_cast<DivisionCount>(divisions);
  auto ceil = [perBeat](DivisionCount n) { return (n + perBeat - 1) / perBeat; };
  const auto into = static_cast<DivisionCount>(s.firstDivision);
  return static_cast<std::int64_t>(ceil(into + s.divisions) - ceil(into));
}

void Pad(std::string& line, const std::string& cell, std::size_t width, bool right) {
  const std::size_t shown = TerminalWidth(cell);
  const std::string gap(width > shown ? width - shown : 0, ' ');
  line += right ? gap + cell : cell + gap;
}

constexpr std::size_t kColumns = 7;
using Widths = std::array<std::size_t, kColumns>;

std::array<const std::string*, kColumns> Cells(const Row& r) {
  return {&r.name, &r.first, &r.start, &r.tempo, &r.meter, &r.measures, &r.length};
}

void Widen(const Row& r, Widths& width) {
  const auto cells = Cells(r);
  for (std::size_t i = 0; i < kColumns; ++i) width[i] = std::max(width[i], TerminalWidth(*cells[i]));
}

void WriteRow(const Row& r, const Widths& width, ExportFile& out) {
  const auto cells = Cells(r);
  std::string line;
  for (std::size_t i = 0; i < kColumns; ++i) {
    Pad(line, *cells[i], width[i], i == 1 || i == 5);
    line += i + 1 < kColumns ? "  " : "";
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  out.Put(line + "\n");
  out.Filled();
}

struct Totals {
  Rational start, end;
  std::int64_t beats = 0;
};

// Each section's row, in order, over a fresh timeline; one row is held back
// until the next section's start gives its length.
Totals WalkRows(const WalkPlan& plan, const std::function<void(const Row&)>& row) {
  Totals totals;
  std::optional<Row> held;
  Rational heldStart;
  WalkStretches(*plan.timelines(), StretchTimes::kAsked, [&](Stretch& s, Timeline& timeline) {
    if (s.divisions == 0) return true;
    timeline.AddTimes(s);
    const Rational start = s.Start();
    // A section lasts until the next begins (a MIDI change may fall inside a beat).
    if (held) {
      held->length = Clock(start - heldStart);
      row(*held);
    } else {
      totals.start = start;
    }
    totals.end = s.time->At(s.divisions);
    totals.beats += BeatsIn(s, plan.divisions);
    held = Row{s.name != nullptr ? TerminalText(*s.name, "\uFFFD") : s.Label(),
               std::to_string(s.firstMeasure + plan.firstMeasureNumber), Clock(start), TempoOf(s),
               MeterOf(s), std::to_string(s.measures), ""};
    heldStart = start;
    return true;
  });
  if (held) {
    held->length = Clock(totals.end - heldStart);
    row(*held);
  }
  return totals;
}

}  // namespace

// Two walks, so that memory stays flat however many sections: the first
// finds the columns' widths, the second writes the rows padded to them.
void WriteSummary(const WalkPlan& plan, ExportFile& out) {
  const Row header{"Section", "First", "Start", "Tempo", "Meter", "Measures", "Length"};
  Widths width{};
  Widen(header, width);
  WalkRows(plan, [&](const Row& r) { Widen(r, width); });
  WriteRow(header, width, out);
  const Totals totals = WalkRows(plan, [&](const Row& r) { WriteRow(r, width, out); });
  out.Put("\nTotal " + Clock(totals.end - totals.start) + ", " + std::to_string(totals.beats) +
          " beats\n");
}

}  // namespace beatmarks
