#include "listen/onset_curve.h"

#include <algorithm>
#include <cmath>

#include "listen/low_residual.h"

namespace beatmarks {
namespace {

constexpr double kHopSeconds = 0.0005;
constexpr double kBeforeSeconds = 0.020;
// Both views average 5 ms after a hop: what is new in the low band comes as
// a burst (its predictor learns the new sound within 20 ms), and a longer
// stretch would find the burst before it starts.
constexpr double kLowAfterSeconds = 0.005;
constexpr double kDifferenceAfterSeconds = 0.005;
constexpr double kReachSeconds = 0.005;
// Mean power below which a stretch counts as silence (-120 dB full scale).
constexpr double kSilence = 1e-12;

std::int64_t HopsIn(double seconds, std::int64_t hop, std::uint32_t rate) {
  return std::max<std::int64_t>(1, std::llround(seconds * rate / static_cast<double>(hop)));
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// Two doubles, which the compiler keeps in one vector register.
using Pair = double __attribute__((vector_size(16)));

struct HopSums {
  double sum = 0, difference = 0, power = 0;
};

// The samples [from, to) of a hop summed, and with `powers` their squares
// and those of their second differences; in two interleaved halves, whose
// additions do not wait on each other.
HopSums SumHop(const float* mono, std::int64_t from, std::int64_t to, bool powers) {
  std::int64_t i = from;
  if (!powers) {
    double s0 = 0, s1 = 0;
    for (; i + 1 < to; i += 2) s0 += mono[i], s1 += mono[i + 1];
    if (i < to) s0 += mono[i];
    return {s0 + s1, 0, 0};
  }
  // Lane 0 takes the even samples, lane 1 the odd ones; `previous` holds
  // the two samples before x, so e = x - 2 * (last one) + (the one before).
  Pair sums{0, 0}, differences{0, 0}, squares{0, 0};
  Pair previous{mono[i - 2], mono[i - 1]};
  for (; i + 1 < to; i += 2) {
    const Pair x{mono[i], mono[i + 1]};
    const Pair last = __builtin_shufflevector(previous, x, 1, 2);
    const Pair e = x - 2 * last + previous;
    sums += x, differences += e * e, squares += x * x;
    previous = x;
  }
  double s0 = sums[0], s1 = sums[1], d0 = differences[0], d1 = differences[1], p0 = squares[0], p1 = squares[1];
  if (i < to) {
    const double x = mono[i], e = x - 2 * previous[1] + previous[0];
    s0 += x, d0 += e * e, p0 += x * x;
  }
  return {s0 + s1, d0 + d1, p0 + p1};
}

}  // namespace

OnsetCurve::OnsetCurve(std::uint32_t rate)
    : hop_(std::max<std::int64_t>(1, std::llround(kHopSeconds * rate))),
      before_(HopsIn(kBeforeSeconds, hop_, rate)),
      after_{HopsIn(kLowAfterSeconds, hop_, rate), HopsIn(kDifferenceAfterSeconds, hop_, rate)},
      reach_(HopsIn(kReachSeconds, hop_, rate)) {}

std::int64_t OnsetCurve::ContextBefore() const {
  return (before_ + reach_ + 1 + static_cast<std::int64_t>(LowResidual::History())) * hop_ + 1;
}
std::int64_t OnsetCurve::ContextAfter() const { return (std::max(after_[0], after_[1]) + reach_ + 1) * hop_; }

void OnsetCurve::Peaks(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t from,
                       std::int64_t to, float floorDb, std::vector<OnsetPeak>& peaks) {
  // Hops [first, last) of the peaks, [first - reach, last + reach) of the
  // rises, [first - reach - before, last + reach + after) of the energies.
  const std::int64_t first = FloorDiv(from + hop_ - 1, hop_);
  const std::int64_t last = FloorDiv(to + hop_ - 1, hop_);
  if (first >= last) return;
  const std::int64_t e0 = first - reach_ - before_;
  const std::int64_t e1 = last + reach_ + std::max(after_[0], after_[1]);
  Energies(mono, origin, size, e0, static_cast<std::size_t>(e1 - e0));
  const std::int64_t r0 = first - reach_;
  const auto rises = static_cast<std::size_t>(last + reach_ - r0);
  for (int v = 0; v < 2; ++v) Rises(v, r0, rises, e0);
  PickPeaks(r0, rises, e0, floorDb, peaks);
}

// The running sums of power of both views over `hops` hops from e0.
void OnsetCurve::Energies(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t e0,
                          std::size_t hops) {
  // Hop means from History() hops before e0, for the low band's prediction.
  const auto history = LowResidual::History();
  means_.assign(history + hops, 0.0);
  for (auto& sums : sums_) sums.assign(hops + 1, 0.0);
  power_.assign(hops + 1, 0.0);
  for (std::size_t h = 0; h < history + hops; ++h) {
    const std::int64_t start = (e0 - static_cast<std::int64_t>(history) + static_cast<std::int64_t>(h)) * hop_ - origin;
    const bool counted = h >= history;
    const HopSums hop = SumHop(mono, std::max<std::int64_t>(start, 2), std::min(start + hop_, size), counted);
    const double sum = hop.sum, difference = hop.difference, power = hop.power;
    means_[h] = sum / static_cast<double>(hop_);
    if (counted) {
      sums_[1][h - history + 1] = sums_[1][h - history] + difference;
      power_[h - history + 1] = power_[h - history] + power;
    }
  }
  low_.Compute(means_, e0 - static_cast<std::int64_t>(history), residual_);
  for (std::size_t h = 0; h < hops; ++h) {
    const double r = residual_[history + h];
    sums_[0][h + 1] = sums_[0][h] + r * r * static_cast<double>(hop_);
  }
}

// Rise of view v at hop k: mean power of hops [k, k + after) over
// [k - before, k), counting only hops of the file before it (none at its
// first hop); a ratio, in dB only where it makes a peak.
void OnsetCurve::Rises(int v, std::int64_t r0, std::size_t rises, std::int64_t e0) {
  rise_[v].resize(rises);
  const std::vector<double>& s = sums_[v];
  const auto after = static_cast<std::size_t>(after_[v]);
  const double perAfter = 1.0 / static_cast<double>(after_[v] * hop_);
  for (std::size_t r = 0; r < rises; ++r) {
    const std::int64_t hop = r0 + static_cast<std::int64_t>(r);
    const auto k = static_cast<std::size_t>(hop - e0);
    const auto before = static_cast<std::size_t>(std::clamp<std::int64_t>(hop, 0, before_));
    if (before == 0) {
      rise_[v][r] = 1;
      continue;
    }
    const double beforePower = (s[k] - s[k - before]) / static_cast<double>(before * static_cast<std::size_t>(hop_));
    const double afterPower = (s[k + after] - s[k]) * perAfter;
    rise_[v][r] = (afterPower + kSilence) / (beforePower + kSilence);
  }
}

// The hops whose larger rise tops every other within reach, and the floor.
// The signal's power over the 5 ms from energy hop k, in dB.
float OnsetCurve::LevelAt(std::size_t k) const {
  const auto after = static_cast<std::size_t>(after_[0]);
  const double power = (power_[k + after] - power_[k]) / static_cast<double>(after_[0] * hop_);
  return static_cast<float>(10.0 * std::log10(power + kSilence));
}

void OnsetCurve::PickPeaks(std::int64_t r0, std::size_t rises, std::int64_t e0, float floorDb,
                           std::vector<OnsetPeak>& peaks) const {
  const auto reach = static_cast<std::size_t>(reach_);
  const double floor = std::pow(10.0, floorDb / 10.0);
  for (std::size_t r = reach; r + reach < rises; ++r) {
    const bool difference = rise_[1][r] > rise_[0][r];
    const double top = rise_[difference ? 1 : 0][r];
    if (top < floor) continue;
    bool peak = true;
    for (std::size_t j = r - reach; j <= r + reach && peak; ++j) {
      const double other = std::max(rise_[0][j], rise_[1][j]);
      peak = j < r ? top > other : top >= other;
    }
    if (!peak) continue;
    peaks.push_back({(r0 + static_cast<std::int64_t>(r)) * hop_, static_cast<float>(10.0 * std::log10(top)),
                     LevelAt(static_cast<std::size_t>(r0 + static_cast<std::int64_t>(r) - e0)),
                     difference ? OnsetView::kDifference : OnsetView::kLowResidual});
  }
}

}  // namespace beatmarks
