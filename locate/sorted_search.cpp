#include "locate/sorted_search.h"

#include <algorithm>
#include <cmath>

namespace beatmarks {

void SortedSearch::Build(const std::vector<double>& sorted) {
  firsts_.clear();
  const std::size_t n = sorted.size();
  if (n < 16 || n >= UINT32_MAX || !std::isfinite(sorted.front()) || !std::isfinite(sorted.back()) ||
      !(sorted.back() > sorted.front())) {
    return;  // the whole search is quick enough, or the range has no width
  }
  // About four values a bucket: a short search, a small table.
  const std::size_t buckets = n / 4;
  low_ = sorted.front();
  scale_ = static_cast<double>(buckets) / (sorted.back() - low_);
  if (!std::isfinite(scale_)) return;
  firsts_.resize(buckets + 1);
  std::size_t at = 0;
  for (std::size_t b = 0; b <= buckets; ++b) {
    const double edge = low_ + static_cast<double>(b) / scale_;
    while (at < n && sorted[at] <= edge) ++at;
    firsts_[b] = static_cast<std::uint32_t>(at);
  }
}

std::size_t SortedSearch::UpperBound(const std::vector<double>& sorted, double t) const {
  const double bucket = (t - low_) * scale_;
  if (!firsts_.empty() && bucket >= 0 && bucket < static_cast<double>(firsts_.size() - 1)) {
    const auto b = static_cast<std::size_t>(bucket);
    const std::size_t first = firsts_[b], last = firsts_[b + 1];
    if ((first == 0 || sorted[first - 1] <= t) && (last == sorted.size() || sorted[last] > t)) {
      return static_cast<std::size_t>(std::upper_bound(sorted.begin() + static_cast<std::ptrdiff_t>(first),
                                                       sorted.begin() + static_cast<std::ptrdiff_t>(last), t) -
                                      sorted.begin());
    }
  }
  return static_cast<std::size_t>(std::upper_bound(sorted.begin(), sorted.end(), t) - sorted.begin());
}

}  // namespace beatmarks
