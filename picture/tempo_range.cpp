#include "picture/tempo_range.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace beatmarks {
namespace {

constexpr std::size_t kBins = 4096;
constexpr double kLowShare = 0.02, kHighShare = 0.98;
constexpr double kOutlierFactor = 1.5;  // beyond the played range by this ratio

// How long each step lasts (the last until the end).
double Lasts(const std::vector<TempoStep>& steps, std::size_t i, double end) {
  return std::max(0.0, (i + 1 < steps.size() ? steps[i + 1].start : end) - steps[i].start);
}

// The tempos at the two shares of the time, to a bin of a logarithmic
// histogram: the low edge of the low one's bin and the high edge of the high one's.
std::array<double, 2> Percentiles(const std::vector<TempoStep>& steps, double end, double lowest,
                                  double highest) {
  std::array<double, kBins> time{};
  const double low = std::log(lowest), span = std::log(highest) - low;
  auto bin = [&](double bpm) {
    const double f = (std::log(bpm) - low) / span * kBins;
    return std::min(kBins - 1, static_cast<std::size_t>(std::max(0.0, f)));
  };
  double total = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const double t = Lasts(steps, i, end);
    time[bin(steps[i].bpm)] += t;
    total += t;
  }
  auto edge = [&](std::size_t b) { return std::exp(low + span * static_cast<double>(b) / kBins); };
  std::array<double, 2> found{lowest, highest};
  double sum = 0;
  bool lowFound = false;
  for (std::size_t b = 0; b < kBins; ++b) {
    sum += time[b];
    if (!lowFound && sum > kLowShare * total) {
      found[0] = edge(b);
      lowFound = true;
    }
    if (sum >= kHighShare * total) {
      found[1] = edge(b + 1);
      break;
    }
  }
  return found;
}

}  // namespace

TempoRange PlayedTempos(const std::vector<TempoStep>& steps, double end) {
  TempoRange range;
  if (steps.empty()) return range;
  const auto [low, high] = std::minmax_element(
      steps.begin(), steps.end(), [](const TempoStep& a, const TempoStep& b) { return a.bpm < b.bpm; });
  range.lowest = range.lo = low->bpm;
  range.highest = range.hi = high->bpm;
  if (!(range.highest > range.lowest) || !(end > 0)) return range;
  const std::array<double, 2> played = Percentiles(steps, end, range.lowest, range.highest);
  const double floor = played[0] / kOutlierFactor, ceiling = played[1] * kOutlierFactor;
  range.lo = range.highest;
  range.hi = range.lowest;
  for (const TempoStep& step : steps) {
    if (step.bpm < floor || step.bpm > ceiling) continue;
    range.lo = std::min(range.lo, step.bpm);
    range.hi = std::max(range.hi, step.bpm);
  }
  return range;
}

}  // namespace beatmarks
