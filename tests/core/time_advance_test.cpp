#include "core/time_advance.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

#include "reference_display.h"

namespace beatmarks {
namespace {

using testing::ReferenceAdvance;

// Steps as the generator makes them: a tempo anywhere in the float range.
double RandomStep(std::mt19937_64& random) {
  std::uniform_real_distribution<double> exponent(-149.0, 127.99);
  std::uniform_int_distribution<int> divisions(1, 64);
  float tempo = static_cast<float>(std::exp2(exponent(random)));
  if (tempo == 0.0f) tempo = std::nextafter(0.0f, 1.0f);
  return (60.0 / static_cast<double>(tempo)) / divisions(random);
}

std::uint64_t RandomCount(std::mt19937_64& random, double maxLog2) {
  std::uniform_real_distribution<double> log2(0.0, maxLog2);
  return static_cast<std::uint64_t>(std::exp2(log2(random)));
}

TEST(AdvanceTime, MatchesAdditionsOneByOne) {
  std::mt19937_64 random(1207);
  for (int i = 0; i < 60000; ++i) {
    double step = RandomStep(random);
    double t = ReferenceAdvance(0.0, step, RandomCount(random, 8.0) - 1);
    std::uint64_t count = RandomCount(random, 10.0);
    ASSERT_EQ(AdvanceTime(t, step, count), ReferenceAdvance(t, step, count))
        << std::hexfloat << t << " " << step << " " << count;
  }
}

// Steps that lie exactly half-way between two multiples of t's spacing, so
// every addition is a tie, and steps below or at half a spacing.
TEST(AdvanceTime, HalfSpacingTiesAndStandstill) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> exponent(-60, 60), units(0, 40);
  for (int i = 0; i < 30000; ++i) {
    double t = std::ldexp(1.0 + std::ldexp(static_cast<double>(random() >> 12), -52),
                          exponent(random));
    int e = 0;
    std::frexp(t, &e);
    double spacing = std::ldexp(1.0, e - 53);
    double step = (units(random) + 0.5) * spacing;
    if (i % 7 == 0) step = spacing * 0.5;
    if (i % 11 == 0) step = spacing * 0.25;
    std::uint64_t count = RandomCount(random, 12.0);
    ASSERT_EQ(AdvanceTime(t, step, count), ReferenceAdvance(t, step, count))
        << std::hexfloat << t << " " << step << " " << count;
  }
}

TEST(AdvanceTime, SubnormalStepsAndTimes) {
  std::mt19937_64 random(11);
  std::uniform_int_distribution<std::uint64_t> bits(1, (std::uint64_t{1} << 54) - 1);
  for (int i = 0; i < 10000; ++i) {
    double step = std::ldexp(static_cast<double>(bits(random) >> (random() % 54)), -1074);
    double t = std::ldexp(static_cast<double>(bits(random) >> (random() % 60)), -1074);
    std::uint64_t count = RandomCount(random, 14.0);
    ASSERT_EQ(AdvanceTime(t, step, count), ReferenceAdvance(t, step, count))
        << std::hexfloat << t << " " << step << " " << count;
  }
}

// Long runs across many binades, from the start of a piece.
TEST(AdvanceTime, LongRunsAcrossBinades) {
  std::mt19937_64 random(3);
  for (int i = 0; i < 200; ++i) {
    double step = RandomStep(random);
    std::uint64_t count = RandomCount(random, 21.0);
    ASSERT_EQ(AdvanceTime(0.0, step, count), ReferenceAdvance(0.0, step, count))
        << std::hexfloat << step << " " << count;
  }
}

// Counts far past what additions one by one can check: the jump must not
// depend on how the count is split.
TEST(AdvanceTime, HugeCountsSplitAnywhereAgree) {
  std::mt19937_64 random(5);
  for (int i = 0; i < 2000; ++i) {
    double step = RandomStep(random);
    DivisionCount count = (static_cast<DivisionCount>(random()) << 30) | random();
    DivisionCount first = count / (2 + random() % 1000);
    double whole = AdvanceTime(0.0, step, count);
    ASSERT_EQ(whole, AdvanceTime(AdvanceTime(0.0, step, first), step, count - first))
        << std::hexfloat << step;
    ASSERT_TRUE(std::isfinite(whole));
  }
  // A step below half the spacing of 1.0 leaves 1.0 where it is.
  EXPECT_EQ(AdvanceTime(1.0, std::ldexp(1.0, -54), ~DivisionCount{0}), 1.0);
  EXPECT_EQ(AdvanceTime(1.0, std::ldexp(1.0, -53), ~DivisionCount{0}), 1.0);
}

}  // namespace
}  // namespace beatmarks
