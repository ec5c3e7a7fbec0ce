#include "listen/first_sample.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace beatmarks {
namespace {

constexpr double kBlockRate = 3000;
constexpr double kModelSeconds = 0.040;
constexpr double kSearchSeconds = 0.0075;
// The rough position is a hop whose 5 ms after it rose most; a sound shorter
// than that (a click, a cross-stick) rises as much from every hop up to 5 ms
// before it, so the search reaches past that window.
constexpr double kAfterSeconds = 0.0065;
// A continuation drifts from what it continues over tens of milliseconds:
// once placed, the attack is placed again from a model ending this far
// before it, until it stays.
constexpr double kGuardSeconds = 0.0015;
constexpr int kPlacings = 1;
constexpr std::size_t kOrder = 8;
// The full-rate predictor: notes still ringing are sums of slowly decaying
// partials, which a predictor of this order fitted on the 10 ms before the
// search carries on almost exactly; a new note is what it cannot predict.
constexpr std::size_t kFullOrder = 16;
constexpr double kFullModelSeconds = 0.010;
constexpr double kSilence = 1e-12;

double SampleAt(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t frame) {
  const std::int64_t i = frame - origin;
  return i >= 0 && i < size ? mono[i] : 0.0;
}

}  // namespace

FirstSample::FirstSample(std::uint32_t rate)
    : block_(std::max<std::int64_t>(1, std::llround(rate / kBlockRate))),
      model_(std::max<std::int64_t>(4 * kOrder, std::llround(kModelSeconds * rate / static_cast<double>(block_)))),
      search_(std::max<std::int64_t>(4, std::llround(kSearchSeconds * rate))),
      after_(std::max<std::int64_t>(4, std::llround(kAfterSeconds * rate))),
      guard_(std::max<std::int64_t>(2, std::llround(kGuardSeconds * rate))),
      fullModel_(std::max<std::int64_t>(4 * kFullOrder, std::llround(kFullModelSeconds * rate))) {}

std::int64_t FirstSample::ContextBefore() const { return std::max(model_ * block_, fullModel_) + search_; }

namespace {

// Burg's method on `values` (left as prediction errors): a[i] weighs the
// value i + 1 back, A(z) = 1 + sum a[i] z^-(i+1), of at most `order`. Its
// filter is minimum phase, so a continuation dies away rather than growing.
void Burg(std::vector<double>& forward, std::vector<double>& backward, std::vector<double>& previous,
          std::size_t order, std::vector<double>& a) {
  const std::size_t n = forward.size();
  backward = forward;
  a.clear();
  for (std::size_t m = 1; m <= order && m < n; ++m) {
    double num = 0, den = 0;
    for (std::size_t t = m; t < n; ++t) {
      num += forward[t] * backward[t - 1];
      den += forward[t] * forward[t] + backward[t - 1] * backward[t - 1];
    }
    if (!(den > kSilence * static_cast<double>(n))) break;
    const double k = -2 * num / den;
    previous = a;
    a.push_back(k);
    for (std::size_t i = 0; i + 1 < m; ++i) a[i] = previous[i] + k * previous[m - 2 - i];
    for (std::size_t t = n - 1; t >= m; --t) {
      const double f = forward[t] + k * backward[t - 1];
      backward[t] = backward[t - 1] + k * forward[t];
      forward[t] = f;
    }
  }
}

}  // namespace

// The predictor of the `model_` block means before `start`.
void FirstSample::ModelBefore(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start) {
  const auto n = static_cast<std::size_t>(model_);
  forward_.assign(n, 0.0);
  for (std::size_t j = 0; j < n; ++j) {
    const std::int64_t from = start - (model_ - static_cast<std::int64_t>(j)) * block_;
    for (std::int64_t i = 0; i < block_; ++i) forward_[j] += SampleAt(mono, origin, size, from + i);
    forward_[j] /= static_cast<double>(block_);
  }
  continued_ = forward_;
  Burg(forward_, backward_, previous_, kOrder, coefficients_);
}

// What the full-rate predictor fitted on the `fullModel_` samples before
// `start` does not predict of samples [start, start + n), from the samples
// before each.
void FirstSample::Unpredicted(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start,
                              std::int64_t n) {
  forward_.resize(static_cast<std::size_t>(fullModel_));
  for (std::int64_t j = 0; j < fullModel_; ++j) {
    forward_[static_cast<std::size_t>(j)] = SampleAt(mono, origin, size, start - fullModel_ + j);
  }
  Burg(forward_, backward_, previous_, kFullOrder, full_);
  unpredicted_.resize(static_cast<std::size_t>(n));
  for (std::int64_t t = 0; t < n; ++t) {
    double e = SampleAt(mono, origin, size, start + t);
    for (std::size_t i = 0; i < full_.size(); ++i) {
      e += full_[i] * SampleAt(mono, origin, size, start + t - 1 - static_cast<std::int64_t>(i));
    }
    unpredicted_[static_cast<std::size_t>(t)] = e;
  }
}

// The recording less the predictor's continuation of what came before
// `start`, for samples [start, start + n): block means predicted one after
// another, read between their centres by straight lines.
void FirstSample::Excess(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start,
                         std::int64_t n) {
  const std::size_t order = coefficients_.size();
  const std::size_t known = continued_.size();
  const auto blocks = static_cast<std::size_t>(n / block_ + 2);
  for (std::size_t j = known; j < known + blocks; ++j) {
    double predicted = 0;
    for (std::size_t i = 0; i < order; ++i) predicted -= coefficients_[i] * continued_[j - 1 - i];
    continued_.push_back(predicted);
  }
  excess_.resize(static_cast<std::size_t>(n));
  const double centre = static_cast<double>(block_ - 1) / 2;
  for (std::size_t t = 0; t < static_cast<std::size_t>(n); ++t) {
    // Block j's centre lies at start - (known - j) * block_ + centre.
    const double u = static_cast<double>(known) + (static_cast<double>(t) - centre) / static_cast<double>(block_);
    const auto j = static_cast<std::size_t>(u);
    const double w = u - static_cast<double>(j);
    const double low = (1 - w) * continued_[j] + w * continued_[j + 1];
    excess_[t] = SampleAt(mono, origin, size, start + static_cast<std::int64_t>(t)) - low;
  }
}

// The split k of `signal` (samples [0, k) before, [k, n) after) of the least
// k ln(power before) + (n - k) ln(power after), the louder side after, and
// its gain over n ln(power); k = n where there is none.
FirstSample::Split FirstSample::MostLikelySplit(const std::vector<double>& signal) {
  const std::size_t n = signal.size();
  std::vector<double>& sums = sums_;
  sums.assign(n + 1, 0.0);
  for (std::size_t i = 0; i < n; ++i) sums[i + 1] = sums[i] + signal[i] * signal[i];
  double best = std::numeric_limits<double>::infinity();
  std::size_t split = n;
  for (std::size_t k = 1; k < n; ++k) {
    const double head = sums[k] / static_cast<double>(k);
    const double tail = (sums[n] - sums[k]) / static_cast<double>(n - k);
    if (tail <= head) continue;
    const double cost = static_cast<double>(k) * std::log(head + kSilence) +
                        static_cast<double>(n - k) * std::log(tail + kSilence);
    if (cost < best) {
      best = cost;
      split = k;
    }
  }
  if (split == n) return {static_cast<std::int64_t>(n), 0, 0};
  const double whole = static_cast<double>(n) * std::log(sums[n] / static_cast<double>(n) + kSilence);
  const double head = sums[split] / static_cast<double>(split);
  const double tail = (sums[n] - sums[split]) / static_cast<double>(n - split);
  return {static_cast<std::int64_t>(split), whole - best, 10 * std::log10((tail + kSilence) / (head + kSilence))};
}

// x[t] - 2 x[t - 1] + x[t - 2] for samples [start, start + n).
void FirstSample::SecondDifference(const float* mono, std::int64_t origin, std::int64_t size,
                                   std::int64_t start, std::int64_t n) {
  bright_.resize(static_cast<std::size_t>(n));
  for (std::int64_t t = 0; t < n; ++t) {
    const std::int64_t at = start + t;
    bright_[static_cast<std::size_t>(t)] = SampleAt(mono, origin, size, at) -
                                           2 * SampleAt(mono, origin, size, at - 1) +
                                           SampleAt(mono, origin, size, at - 2);
  }
}

// The attack in [start, end): of the split of the excess over the low
// continuation and that of the second difference, the one of more gain.
std::int64_t FirstSample::Place(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start,
                                std::int64_t end) {
  Unpredicted(mono, origin, size, start, end - start);
  const Split full = MostLikelySplit(unpredicted_);
  newSoundDb_ = static_cast<float>(full.riseDb);
  if (full.at < end - start) return start + full.at;
  ModelBefore(mono, origin, size, start);
  Excess(mono, origin, size, start, end - start);
  const Split low = MostLikelySplit(excess_);
  SecondDifference(mono, origin, size, start, end - start);
  const Split bright = MostLikelySplit(bright_);
  return start + (bright.gain > low.gain ? bright.at : low.at);
}

std::int64_t FirstSample::Find(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t rough) {
  std::int64_t start = rough - search_;
  const std::int64_t end = rough + after_;
  std::int64_t placed = Place(mono, origin, size, start, end);
  if (placed == end) return rough;
  for (int i = 1; i < kPlacings && placed - guard_ > start; ++i) {
    start = placed - guard_;
    const std::int64_t again = Place(mono, origin, size, start, end);
    if (again == end || again == placed) break;
    placed = again;
  }
  return placed;
}

}  // namespace beatmarks
