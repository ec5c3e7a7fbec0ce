#include "formats/summary_table.h"

#include <charconv>

#include "core/terminal_text.h"
#include "exact/exact_time.h"

namespace beatmarks {

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

std::size_t ShownWidth(const std::string& cell) { return TerminalWidth(cell); }

void AppendPadded(std::string& line, const std::string& cell, std::size_t width, bool right) {
  const std::size_t shown = TerminalWidth(cell);
  const std::string gap(width > shown ? width - shown : 0, ' ');
  line += right ? gap + cell : cell + gap;
}

}  // namespace beatmarks
