#include "listen/snap_choice.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace beatmarks {
namespace {

// A beat this close after the previous one is taken for the same attack.
constexpr double kDoubledSeconds = 0.010;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
  const double upper = values[middle];
  if (values.size() % 2) return upper;
  const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
  return (lower + upper) / 2;
}

}  // namespace

double WindowOf(const SnapSettings& settings) {
  return std::isnan(settings.window) ? 0.0 : std::clamp(settings.window, 0.0, kLongestWindow);
}

std::vector<TapWindow> TapWindows(const std::vector<double>& taps, const SnapSettings& settings) {
  const double window = WindowOf(settings);
  const double fraction =
      std::isnan(settings.neighbourFraction) ? 0.0 : std::clamp(settings.neighbourFraction, 0.0, 0.5);
  std::vector<TapWindow> windows(taps.size(), {window, window});
  for (std::size_t i = 1; i < taps.size(); ++i) {
    const double reach = fraction * (taps[i] - taps[i - 1]);
    windows[i - 1].after = std::min(windows[i - 1].after, reach);
    windows[i].before = std::min(windows[i].before, reach);
  }
  return windows;
}

namespace {

// The strongest rise at least `least` dB strong whose hop lies within the
// window, and where the window begins among the rises.
std::optional<std::size_t> StrongestRise(const std::vector<OnsetPeak>& rises, double centre, double before,
                                         double after, float least,
                                         std::vector<OnsetPeak>::const_iterator& first) {
  first = std::lower_bound(rises.begin(), rises.end(), centre - before,
                           [](const OnsetPeak& r, double at) { return static_cast<double>(r.frame) < at; });
  std::optional<std::size_t> strongest;
  for (auto it = first; it != rises.end() && static_cast<double>(it->frame) <= centre + after; ++it) {
    if (it->strengthDb < least) continue;
    if (!strongest || it->strengthDb > rises[*strongest].strengthDb) {
      strongest = static_cast<std::size_t>(it - rises.begin());
    }
  }
  return strongest;
}

}  // namespace

std::optional<std::size_t> ChooseRise(const std::vector<OnsetPeak>& rises, double centre, double before,
                                      double after) {
  std::vector<OnsetPeak>::const_iterator first;
  const std::optional<std::size_t> strongest = StrongestRise(rises, centre, before, after, kClearAttackDb, first);
  if (!strongest) return std::nullopt;
  std::size_t chosen = *strongest;
  const float close = rises[chosen].strengthDb - kCloseInStrengthDb;
  for (auto it = first; it != rises.end() && static_cast<double>(it->frame) <= centre + after; ++it) {
    const double distance = std::abs(static_cast<double>(it->frame) - centre);
    if (it->strengthDb >= std::max(close, kClearAttackDb) &&
        distance < std::abs(static_cast<double>(rises[chosen].frame) - centre)) {
      chosen = static_cast<std::size_t>(it - rises.begin());
    }
  }
  return chosen;
}

std::optional<std::size_t> ChooseWeakRise(const std::vector<OnsetPeak>& rises, double centre, double before,
                                          double after) {
  std::vector<OnsetPeak>::const_iterator first;
  return StrongestRise(rises, centre, before, after, -std::numeric_limits<float>::infinity(), first);
}

double EstimateLag(const std::vector<double>& taps, const std::vector<TapWindow>& windows,
                   const std::vector<OnsetPeak>& rises, std::uint32_t rate, double limit) {
  std::vector<double> lags;
  for (std::size_t i = 0; i < taps.size(); ++i) {
    const double centre = taps[i] * rate;
    const auto chosen = ChooseRise(rises, centre, windows[i].before * rate, windows[i].after * rate);
    if (chosen) lags.push_back(taps[i] - static_cast<double>(rises[*chosen].frame) / rate);
  }
  return std::clamp(Median(lags), -limit, limit);
}

void Summarise(SnapResult& result) {
  std::vector<double> shifts;
  result.snappedCount = result.doubledCount = 0;
  const auto close = static_cast<std::int64_t>(std::llround(kDoubledSeconds * result.rate));
  for (std::size_t i = 0; i < result.beats.size(); ++i) {
    SnappedBeat& beat = result.beats[i];
    beat.doubled = i > 0 && beat.sample - result.beats[i - 1].sample <= close;
    result.doubledCount += beat.doubled;
    if (!beat.snapped) continue;
    ++result.snappedCount;
    shifts.push_back(std::abs(beat.shiftSeconds) * 1000);
  }
  result.medianShiftMs = Median(shifts);
  result.largestShiftMs = shifts.empty() ? 0 : *std::max_element(shifts.begin(), shifts.end());
}

}  // namespace beatmarks
