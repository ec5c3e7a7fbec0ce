#include "exact/big_int.h"

#include <gtest/gtest.h>

#include <random>

#ifdef BEATMARKS_HAVE_BOOST
#include "exact_reference.h"
#endif

namespace beatmarks {
namespace {

#ifdef BEATMARKS_HAVE_BOOST
using testing::RandomBigInt;
using testing::RefFloorDiv;
using testing::RefInt;

std::string Str(const RefInt& value) {
  return value.str();
}

void ExpectArithmeticMatches(const testing::RandomPair& a, const testing::RandomPair& b) {
  const RefInt& x = a.ref;
  const RefInt& y = b.ref;
  ASSERT_EQ(a.value.ToDecimal(), Str(x));
  ASSERT_EQ((a.value + b.value).ToDecimal(), Str(x + y)) << Str(x) << " " << Str(y);
  ASSERT_EQ((a.value - b.value).ToDecimal(), Str(x - y)) << Str(x) << " " << Str(y);
  ASSERT_EQ((a.value * b.value).ToDecimal(), Str(x * y)) << Str(x) << " " << Str(y);
  ASSERT_EQ(a.value <=> b.value, x.compare(y) <=> 0);
  ASSERT_EQ(a.value.BitLength(), x == 0 ? 0 : static_cast<std::int64_t>(msb(abs(x))) + 1);
  const int shift = static_cast<int>(y.is_zero() ? 0 : static_cast<unsigned>(y & 0xff));
  const RefInt sign = x < 0 ? -1 : 1;
  ASSERT_EQ((a.value << shift).ToDecimal(), Str(x << shift));
  ASSERT_EQ((a.value >> shift).ToDecimal(), Str(sign * RefInt(abs(x) >> shift)));
  std::int64_t small = 0;
  ASSERT_EQ(a.value.ToInt64(small), x >= INT64_MIN && x <= INT64_MAX);
  if (x >= INT64_MIN && x <= INT64_MAX) {
    ASSERT_EQ(small, static_cast<std::int64_t>(x));
  }
  ASSERT_EQ(BigInt::Gcd(a.value, b.value).ToDecimal(), Str(gcd(abs(x), abs(y))));
  if (y == 0) return;
  BigInt q, r;
  BigInt::DivMod(a.value, b.value, q, r);
  ASSERT_EQ(q.ToDecimal(), Str(x / y)) << Str(x) << " / " << Str(y);
  ASSERT_EQ(r.ToDecimal(), Str(x % y)) << Str(x) << " % " << Str(y);
  ASSERT_EQ(BigInt::FloorDiv(a.value, b.value).ToDecimal(), Str(RefFloorDiv(x, y)));
}

TEST(BigInt, MatchesReferenceOnRandomOperands) {
  std::mt19937_64 random(2024);
  for (int i = 0; i < 20000; ++i) {
    // Mostly near sizes (long division's hard cases), sometimes far apart.
    int bitsA = i % 50 == 0 ? 3000 : 260, bitsB = i % 3 == 0 ? 64 : bitsA;
    ExpectArithmeticMatches(RandomBigInt(random, bitsA), RandomBigInt(random, bitsB));
  }
}

// Divisions whose first quotient estimate is too large, so that long division
// has to add the divisor back.
TEST(BigInt, LongDivisionCorrectsItsEstimate) {
  struct Case {
    RefInt dividend, divisor;
  };
  const RefInt limb = RefInt(1) << 32;
  const Case cases[] = {
      {(RefInt(0x7fffffff) * limb + 0x80000000) * limb * limb, (RefInt(0x80000000) * limb) * limb + 1},
      {(RefInt(0x80000000) * limb * limb) + 3, (RefInt(0x20000000) * limb * limb) + 1},
      {(RefInt(0x7fffffff) * limb + 0x80000000) * limb * limb, (RefInt(0x80000000) * limb) * limb + 3},
      {(RefInt(1) << 192) - 1, (RefInt(1) << 96) + 0xffffffffu},
  };
  for (const Case& c : cases) {
    ExpectArithmeticMatches({testing::FromRef(c.dividend), c.dividend},
                            {testing::FromRef(c.divisor), c.divisor});
  }
}
#else
TEST(BigInt, MatchesReferenceOnRandomOperands) {
  GTEST_SKIP() << "Boost.Multiprecision headers not found (Debian: libboost-dev)";
}
#endif

TEST(BigInt, Conversions) {
  unsigned __int128 wide = 0;
  EXPECT_TRUE(BigInt::FromUnsigned128(~static_cast<unsigned __int128>(0)).ToUnsigned128(wide));
  EXPECT_EQ(wide, ~static_cast<unsigned __int128>(0));
  EXPECT_FALSE(BigInt::PowerOfTwo(128).ToUnsigned128(wide));
  EXPECT_FALSE(BigInt(-1).ToUnsigned128(wide));
  EXPECT_EQ(BigInt(INT64_MIN).ToDecimal(), "-9223372036854775808");
  EXPECT_EQ(BigInt::PowerOfTen(30).ToDecimal(), "1" + std::string(30, '0'));
  EXPECT_EQ(BigInt::FromUnsigned(UINT64_MAX).ToDecimal(), "18446744073709551615");
}

// A broken precondition: asserted in a debug build, a defined result in a release one.
TEST(BigInt, RefusesDivisionByZero) {
  BigInt q(7), r(7);
  EXPECT_DEBUG_DEATH(BigInt::DivMod(BigInt(5), BigInt(), q, r), "Division by zero");
#ifdef NDEBUG
  EXPECT_EQ(q, BigInt(0));
  EXPECT_EQ(r, BigInt(5));
#endif
}

}  // namespace
}  // namespace beatmarks
