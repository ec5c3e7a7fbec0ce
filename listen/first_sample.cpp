#include "listen/first_sample.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace beatmarks {
namespace {

constexpr double kBeforeSeconds = 0.008;
constexpr double kAfterSeconds = 0.004;
constexpr double kSilence = 1e-12;

}  // namespace

FirstSample::FirstSample(std::uint32_t rate)
    : before_(std::max<std::int64_t>(4, std::llround(kBeforeSeconds * rate))),
      after_(std::max<std::int64_t>(4, std::llround(kAfterSeconds * rate))) {}

std::int64_t FirstSample::Find(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t rough,
                               OnsetView view) const {
  const std::int64_t start = std::max<std::int64_t>(rough - before_ - origin, 1);
  const std::int64_t end = std::min<std::int64_t>(rough + after_ - origin, size);
  const std::int64_t n = end - start;
  if (n < 2) return rough;
  // Power of each sample of the span in the view, and its running sum.
  thread_local std::vector<double> sums;
  sums.assign(static_cast<std::size_t>(n) + 1, 0.0);
  for (std::int64_t i = 0; i < n; ++i) {
    const double x = mono[start + i];
    const double v = view == OnsetView::kPlain ? x : x - mono[start + i - 1];
    sums[static_cast<std::size_t>(i) + 1] = sums[static_cast<std::size_t>(i)] + v * v;
  }
  // The split k (samples [0, k) before, [k, n) after) of the least
  // k ln(power before) + (n - k) ln(power after), the louder side after.
  const double total = sums.back();
  double best = std::numeric_limits<double>::infinity();
  std::int64_t split = n;
  for (std::int64_t k = 1; k < n; ++k) {
    const double head = sums[static_cast<std::size_t>(k)] / static_cast<double>(k);
    const double tail = (total - sums[static_cast<std::size_t>(k)]) / static_cast<double>(n - k);
    if (tail <= head) continue;
    const double cost = static_cast<double>(k) * std::log(head + kSilence) +
                        static_cast<double>(n - k) * std::log(tail + kSilence);
    if (cost < best) {
      best = cost;
      split = k;
    }
  }
  return split == n ? rough : origin + start + split;
}

}  // namespace beatmarks
