// What is new in the low band: a tone the predictor has learnt leaves
// (almost) nothing, and a click on it leaves its own size, whichever hop of
// the refit grid it falls on and wherever the analysed stretch begins.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "listen/low_residual.h"

namespace beatmarks {
namespace {

TEST(LowResidual, LeavesAClickOnALearntTone) {
  constexpr double kClick = 0.25;
  const std::size_t history = LowResidual::History();
  for (const std::int64_t firstHop : {0, 1, 7, -3}) {
    for (std::size_t at = history + 30; at < history + 34; ++at) {
      SCOPED_TRACE("first hop " + std::to_string(firstHop) + ", click at " + std::to_string(at));
      std::vector<double> means(at + 10);
      for (std::size_t h = 0; h < means.size(); ++h) means[h] = 0.5 * std::sin(0.3 * static_cast<double>(h));
      means[at] += kClick;
      LowResidual low;
      std::vector<double> residual;
      low.Compute(means, firstHop, residual);
      ASSERT_EQ(residual.size(), means.size());
      for (std::size_t h = 0; h < history; ++h) EXPECT_EQ(residual[h], 0.0);
      for (std::size_t h = history; h < at; ++h) EXPECT_NEAR(residual[h], 0.0, 2e-3) << "hop " << h;
      EXPECT_NEAR(residual[at], kClick, 2e-3);
    }
  }
}

}  // namespace
}  // namespace beatmarks
