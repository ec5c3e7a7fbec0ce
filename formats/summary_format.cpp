#include "formats/summary_format.h"

#include <charconv>
#include <memory>
#include <string>
#include <vector>

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

void WriteTable(const std::vector<Row>& rows, ExportFile& out) {
  std::vector<std::size_t> width(7, 0);
  for (const Row& r : rows) {
    const std::string* cells[] = {&r.name, &r.first, &r.start, &r.tempo, &r.meter, &r.measures, &r.length};
    for (std::size_t i = 0; i < 7; ++i) width[i] = std::max(width[i], TerminalWidth(*cells[i]));
  }
  for (const Row& r : rows) {
    const std::string* cells[] = {&r.name, &r.first, &r.start, &r.tempo, &r.meter, &r.measures, &r.length};
    std::string line;
    for (std::size_t i = 0; i < 7; ++i) {
      Pad(line, *cells[i], width[i], i == 1 || i == 5);
      line += i < 6 ? "  " : "";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out.Put(line + "\n");
    out.Filled();
  }
}

}  // namespace

void WriteSummary(const WalkPlan& plan, ExportFile& out) {
  const std::int32_t divisions = plan.divisions;
  const std::int64_t firstMeasureNumber = plan.firstMeasureNumber;

  std::vector<Row> rows{{"Section", "First", "Start", "Tempo", "Meter", "Measures", "Length"}};
  std::vector<Rational> starts;
  Rational end;
  std::int64_t beats = 0;
  WalkStretches(*plan.timelines(), StretchTimes::kAsked, [&](Stretch& s, Timeline& timeline) {
    if (s.divisions == 0) return true;
    timeline.AddTimes(s);
    starts.push_back(s.Start());
    end = s.time->At(s.divisions);
    beats += BeatsIn(s, divisions);
    rows.push_back({s.name != nullptr ? TerminalText(*s.name, "\uFFFD") : s.Label(), std::to_string(s.firstMeasure + firstMeasureNumber),
                    Clock(starts.back()), TempoOf(s), MeterOf(s), std::to_string(s.measures), ""});
    return true;
  });
  // A section lasts until the next begins (a MIDI change may fall inside a beat).
  for (std::size_t i = 0; i < starts.size(); ++i) {
    rows[i + 1].length = Clock((i + 1 < starts.size() ? starts[i + 1] : end) - starts[i]);
  }
  const Rational start = starts.empty() ? Rational() : starts.front();
  WriteTable(rows, out);
  out.Put("\nTotal " + Clock(end - start) + ", " + std::to_string(beats) + " beats\n");
}

}  // namespace beatmarks
