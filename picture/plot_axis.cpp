#include "picture/plot_axis.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace beatmarks {

double PlotAxis::Fraction(double value) const {
  double f = log ? (std::log10(value) - std::log10(lo)) / (std::log10(hi) - std::log10(lo))
                 : (value - lo) / (hi - lo);
  return std::isnan(f) ? 0 : std::clamp(f, 0.0, 1.0);
}

namespace {

constexpr int kMostTicks = 40;

// A tick step: mantissa 1, 2 or 5 times 10^exponent.
struct Step {
  double size;
  int exponent;
};

double PowerOfTen(int exponent) { return std::pow(10.0, exponent); }

// The smallest round step not below raw (positive, finite).
Step RoundStep(double raw) {
  int exponent = static_cast<int>(std::floor(std::log10(raw)));
  for (int mantissa : {1, 2, 5}) {
    double size = mantissa * PowerOfTen(exponent);
    if (size >= raw * (1 - 1e-12)) return {size, exponent};
  }
  return {PowerOfTen(exponent + 1), exponent + 1};
}

// The next round step below: 1 -> 0.5, 2 -> 1, 5 -> 2.
Step SmallerStep(Step step) {
  const double mantissa = std::round(step.size / PowerOfTen(step.exponent));
  if (mantissa == 1) return {5 * PowerOfTen(step.exponent - 1), step.exponent - 1};
  return {(mantissa == 2 ? 1 : 2) * PowerOfTen(step.exponent), step.exponent};
}

std::string Chars(char* begin, std::to_chars_result result) {
  return result.ec == std::errc() ? std::string(begin, result.ptr) : std::string("?");
}

// A tick value with as many decimals as its step needs; scientific when
// very large or very small.
std::string NumberLabel(double value, int stepExponent) {
  if (value == 0) return "0";
  std::array<char, 64> text;
  const double size = std::fabs(value);
  if (size >= 1e-4 && size < 1e7) {
    int decimals = std::clamp(-stepExponent, 0, 20);
    return Chars(text.data(), std::to_chars(text.data(), text.data() + text.size(), value,
                                            std::chars_format::fixed, decimals));
  }
  int digits = std::clamp(static_cast<int>(std::floor(std::log10(size))) - stepExponent, 0, 15);
  return Chars(text.data(), std::to_chars(text.data(), text.data() + text.size(), value,
                                          std::chars_format::scientific, digits));
}

std::string ClockLabel(double seconds) {
  const auto whole = static_cast<std::int64_t>(std::llround(seconds));
  const std::int64_t s = whole % 60;
  return std::to_string(whole / 60) + (s < 10 ? ":0" : ":") + std::to_string(s);
}

// Ticks at the multiples of the step within lo..hi.
std::vector<AxisTick> LinearTicks(double lo, double hi, Step step, bool clock) {
  std::vector<AxisTick> ticks;
  const double first = std::ceil(lo / step.size - 1e-9);
  const double last = std::floor(hi / step.size + 1e-9);
  if (!(last - first >= 0 && last - first < kMostTicks)) return ticks;
  for (double k = first; k <= last; ++k) {
    double value = k * step.size;
    ticks.push_back({value, clock ? ClockLabel(value) : NumberLabel(value, step.exponent)});
  }
  return ticks;
}

// Decades (every first, second, fifth, ... of them when there are many), with
// 2 and 5 between them when there are few.
std::vector<AxisTick> LogTicks(double lo, double hi) {
  std::vector<AxisTick> ticks;
  const double from = std::log10(lo), to = std::log10(hi);
  const int decades = static_cast<int>(std::ceil(to) - std::floor(from));
  const std::int64_t stride = MeasureStride(decades + 1, 8);
  for (int e = static_cast<int>(std::floor(from)); e <= static_cast<int>(std::ceil(to)); ++e) {
    if (e % stride != 0) continue;
    for (int mantissa : {1, 2, 5}) {
      if (mantissa > 1 && decades > 4) break;
      double value = mantissa * PowerOfTen(e);
      if (value >= lo && value <= hi) ticks.push_back({value, NumberLabel(value, e)});
    }
  }
  return ticks;
}

}  // namespace

PlotAxis TempoAxis(double min, double max, const std::string& unit) {
  PlotAxis axis;
  if (max / min > 100) {
    const double margin = std::pow(max / min, 0.05);
    axis.lo = min / margin;
    axis.hi = max * margin;
    axis.log = true;
    axis.ticks = LogTicks(axis.lo, axis.hi);
    axis.title = "Tempo (" + unit + ", log scale)";
    return axis;
  }
  const double margin = std::max((max - min) * 0.1, max * 0.05);
  axis.lo = std::max(min - margin, 0.0);
  axis.hi = max + margin;
  Step step = RoundStep((axis.hi - axis.lo) / 6);
  axis.ticks = LinearTicks(axis.lo, axis.hi, step, false);
  if (axis.ticks.size() < 4) {
    step = SmallerStep(step);
    axis.ticks = LinearTicks(axis.lo, axis.hi, step, false);
  }
  axis.title = "Tempo (" + unit + ")";
  return axis;
}

PlotAxis TimeAxis(double end) {
  PlotAxis axis;
  axis.hi = end;
  const double raw = end / 8;
  if (end < 120 || end >= 1e6) {
    axis.ticks = LinearTicks(0, end, RoundStep(raw), false);
    axis.title = "Time (s)";
    return axis;
  }
  // Round clock steps: seconds, minutes, then hours in 1, 2, 5 steps.
  constexpr std::array<double, 16> kClockSteps{15,   20,   30,   60,    120,   300,   600,   900,
                                               1200, 1800, 3600, 7200, 18000, 36000, 72000, 180000};
  double size = kClockSteps.back();
  for (double candidate : kClockSteps) {
    if (candidate >= raw) {
      size = candidate;
      break;
    }
  }
  axis.ticks = LinearTicks(0, end, {size, 0}, true);
  axis.title = "Time (m:ss)";
  return axis;
}

std::int64_t MeasureStride(std::int64_t count, std::int64_t most) {
  for (std::int64_t base = 1;; base *= 10) {
    for (std::int64_t mantissa : {1, 2, 5}) {
      const std::int64_t stride = base * mantissa;
      if (count <= 0 || (count - 1) / stride + 1 <= most) return stride;
    }
    if (base > std::numeric_limits<std::int64_t>::max() / 10) {
      return std::numeric_limits<std::int64_t>::max();
    }
  }
}

}  // namespace beatmarks
