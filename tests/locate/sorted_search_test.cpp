#include "locate/sorted_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace beatmarks {
namespace {

// Sorted values spread evenly, in clusters, in runs of equal values and over
// many binades, asked for each value, its neighbours and anywhere: always
// std::upper_bound's answer.
TEST(SortedSearch, IsUpperBound) {
  std::mt19937_64 random(25);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int n = 0; n < 200; ++n) {
    std::vector<double> sorted(1 + random() % 3000);
    for (double& v : sorted) {
      switch (n % 4) {
        case 0: v = unit(random) * 5000; break;
        case 1: v = std::floor(unit(random) * 20) * 0.1; break;              // equal runs
        case 2: v = std::ldexp(unit(random), static_cast<int>(random() % 200) - 100); break;
        default: v = unit(random) < 0.9 ? unit(random) : 1e6 + unit(random); break;  // a cluster
      }
    }
    std::sort(sorted.begin(), sorted.end());
    SortedSearch search;
    search.Build(sorted);
    std::vector<double> asked{-1.0, 0.0, std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN(), sorted.back() * 2};
    for (int k = 0; k < 300; ++k) {
      const double v = sorted[random() % sorted.size()];
      for (const double t : {v, std::nextafter(v, -1e300), std::nextafter(v, 1e300),
                             unit(random) * sorted.back()}) {
        asked.push_back(t);
      }
    }
    for (const double t : asked) {
      const auto want = static_cast<std::size_t>(std::upper_bound(sorted.begin(), sorted.end(), t) - sorted.begin());
      ASSERT_EQ(search.UpperBound(sorted, t), want) << "set " << n << " at " << t;
    }
  }
}

}  // namespace
}  // namespace beatmarks
