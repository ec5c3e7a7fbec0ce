#include "formats/summary_table.h"

#include <charconv>

#include "core/terminal_text.h"
#include "exact/exact_time.h"

namespace beatmarks {

namespace {

// The clock from the time rounded to milliseconds and to nanoseconds.
void AppendClockOf(const std::string& millis, const std::string& exact, std::string& out) {
  const std::size_t point = millis.find('.');
  long long whole = 0;
  auto parsed = std::from_chars(millis.data(), millis.data() + point, whole);
  if (parsed.ec != std::errc()) {  // past any clock
    out += exact;
    out += " s";
    return;
  }
  const long long hours = whole / 3600, minutes = whole / 60 % 60, secs = whole % 60;
  char digits[24];
  auto number = [&](long long n, bool two) {
    if (two && n < 10) out += '0';
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
  };
  if (hours > 0) {
    number(hours, false);
    out += ':';
  }
  number(minutes, hours > 0);
  out += ':';
  number(secs, true);
  out.append(millis, point);
  out += " (";
  out += exact;
  out += " s)";
}

}  // namespace

std::string Clock(const Rational& seconds) {
  std::string millis, exact, clock;
  AppendSecondsAt(seconds, 3, millis);
  AppendSecondsAt(seconds, 9, exact);
  AppendClockOf(millis, exact, clock);
  return clock;
}

void ClockAt(const LinearTime& time, unsigned __int128 n, ClockText& text) {
  text.clock.clear();
  text.millis.clear();
  text.exact.clear();
  time.AppendSeconds(n, 3, text.millis);
  time.AppendSeconds(n, 9, text.exact);
  AppendClockOf(text.millis, text.exact, text.clock);
}

std::string MeterOf(const Stretch& s) {
  if (s.HasTimeSignature()) {
    return std::to_string(s.meterNumerator) + "/" + std::to_string(s.meterDenominator);
  }
  return std::to_string(s.beatsPerMeasure) + " beats";
}

std::int64_t BeatsBegun(const Stretch& s, std::int32_t divisions) {
  const auto perBeat = static_cast<DivisionCount>(divisions);
  auto ceil = [perBeat](DivisionCount n) { return (n + perBeat - 1) / perBeat; };
  const auto into = static_cast<DivisionCount>(s.firstDivision);
  return static_cast<std::int64_t>(ceil(into + s.divisions) - ceil(into));
}

void TempoSpread::Add(double bpm, std::int64_t beats) {
  if (beats <= 0) return;
  least_ = beats_ == 0 ? bpm : std::min(least_, bpm);
  most_ = beats_ == 0 ? bpm : std::max(most_, bpm);
  sum_ += static_cast<long double>(bpm) * static_cast<long double>(beats);
  beats_ += beats;
}

namespace {

std::string TwoDecimals(double value) {
  char digits[400];
  const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 2);
  return result.ec == std::errc() ? std::string(digits, result.ptr) : "?";
}

}  // namespace

std::string TempoSpread::Text() const {
  const std::string least = TwoDecimals(least_), most = TwoDecimals(most_);
  const std::string mean = TwoDecimals(static_cast<double>(sum_ / static_cast<long double>(beats_)));
  if (least == most) return least;
  return least + "\u2013" + mean + "\u2013" + most;
}

// Printable ASCII, as numbers and clocks are, takes a column a byte, and so
// does the dash between tempos (U+2013); anything else is looked up.
std::size_t ShownWidth(const std::string& cell) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < cell.size(); ++i, ++width) {
    const char c = cell[i];
    if (c >= ' ' && c <= '~') continue;
    const bool dash = c == '\xE2' && i + 2 < cell.size() && cell[i + 1] == '\x80' && cell[i + 2] == '\x93';
    if (!dash) return TerminalWidth(cell);
    i += 2;
  }
  return width;
}

void AppendPadded(std::string& line, const std::string& cell, std::size_t width, bool right) {
  const std::size_t shown = ShownWidth(cell);
  const std::size_t gap = width > shown ? width - shown : 0;
  if (right) line.append(gap, ' ');
  line += cell;
  if (!right) line.append(gap, ' ');
}

}  // namespace beatmarks
