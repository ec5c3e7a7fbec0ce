#include "locate/fixed_span.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "exact/big_int.h"
#include "exact/rational.h"

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

BigInt ValueOf(const Wide& w) {
  BigInt value;
  for (std::size_t i = 4; i-- > 0;) value = (value << 64) + BigInt::FromUnsigned(w.limb[i]);
  return w.Negative() ? value - (BigInt(1) << 256) : value;
}

FixedSpan Span(std::int64_t low, std::int64_t high) {
  const auto wide = [](std::int64_t v) { return v < 0 ? Wide{} - Wide::FromUnsigned(u128(-v)) : Wide::FromUnsigned(u128(v)); };
  return {wide(low), wide(high)};
}

// A decimal's bounds are the floor of its value x 2^128 and one more unless
// exact, checked against big integers; what cannot be held is refused.
TEST(FixedSpan, DecimalsBoundTheirValue) {
  std::mt19937_64 rng(128);
  for (int i = 0; i < 2000; ++i) {
    std::string text = std::to_string(rng() >> (rng() % 64));
    const int decimals = static_cast<int>(rng() % 21);
    const std::string digits = std::to_string(rng());
    std::size_t kept = std::min(digits.size(), static_cast<std::size_t>(decimals));
    if (decimals > 0) text.append(1, '.').append(digits, 0, kept);
    while (kept > 0 && digits[kept - 1] == '0') --kept;  // trailing zeros do not count
    FixedSpan span;
    const Rational value = *Rational::FromDecimal(text);
    const bool held = FixedSpanOf(text, span);
    BigInt low, rest;
    BigInt::DivMod(value.numerator() << 128, value.denominator(), low, rest);
    ASSERT_EQ(held, kept <= 19) << text;
    if (!held) continue;
    EXPECT_EQ(ValueOf(span.low), low) << text;
    EXPECT_EQ(ValueOf(span.high), low + BigInt(rest.IsZero() ? 0 : 1)) << text;
  }
  FixedSpan span;
  for (const char* refused : {"-1", "18446744073709551616", "0.00000000000000000001", "1e3", ""}) {
    EXPECT_FALSE(FixedSpanOf(refused, span)) << refused;
  }
}

TEST(FixedSpan, DecidesOnlyWhatTheBoundsSettle) {
  struct Case { FixedSpan a, b; int order; };
  const Case cases[] = {
      {Span(1, 2), Span(3, 4), -1}, {Span(3, 4), Span(1, 2), 1}, {Span(1, 3), Span(2, 4), 2},
      {Span(2, 3), Span(1, 2), 2},  {Span(5, 5), Span(5, 5), 0}, {Span(5, 5), Span(5, 6), 2},
      {Span(-3, -2), Span(-1, 0), -1},
  };
  for (const Case& c : cases) EXPECT_EQ(OrderOf(c.a, c.b), c.order);
  // Halves of 2^-128 x 2^128 / scale: 2^127 rounds up, one unit less down.
  const Wide half = Wide::FromUnsigned(u128{1} << 127), one = Wide::FromUnsigned(1);
  u128 rounded = 9;
  EXPECT_TRUE(RoundedSpan({half, half}, 1, rounded));
  EXPECT_EQ(rounded, u128{1});
  EXPECT_TRUE(RoundedSpan({half - one - one, half - one}, 1, rounded));
  EXPECT_EQ(rounded, u128{0});
  EXPECT_FALSE(RoundedSpan({half - one, half}, 1, rounded));
  EXPECT_TRUE(RoundedSpan(Span(-5, 3), 3, rounded));  // a low bound below 0 counts as 0
  EXPECT_EQ(rounded, u128{0});
  // 10^6 x 1/3 of a span: 333333 is the floor, and only it.
  EXPECT_TRUE(IsMillionths(Span(1000, 1000), Span(3000, 3000), 333333));
  EXPECT_FALSE(IsMillionths(Span(1000, 1000), Span(3000, 3000), 333332));
  EXPECT_FALSE(IsMillionths(Span(1000, 1000), Span(3000, 3000), 333334));
  EXPECT_TRUE(IsMillionths(Span(1, 1), Span(1000000, 1000000), 1));  // exactly 1 x 10^-6
  EXPECT_FALSE(IsMillionths(Span(1, 2), Span(1000000, 1000000), 1));
  EXPECT_FALSE(IsMillionths(Span(1, 1), Span(0, 0), 0));
}

}  // namespace
}  // namespace beatmarks
