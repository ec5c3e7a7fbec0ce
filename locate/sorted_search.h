#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace beatmarks {

// std::upper_bound over sorted doubles, started from a table of buckets of
// equal width over their range: a search among the few values of one
// bucket instead of all. A bucket whose ends do not bracket the value (a
// rounding at its edge) or a value outside the range takes the whole search,
// so the answer is always upper_bound's.
class SortedSearch {
 public:
  void Build(const std::vector<double>& sorted);
  std::size_t UpperBound(const std::vector<double>& sorted, double t) const;

 private:
  double low_ = 0, scale_ = 0;         // the bucket of t is (t - low) x scale
  std::vector<std::uint32_t> firsts_;  // upper_bound at each bucket's low edge, and the end
};

}  // namespace beatmarks
