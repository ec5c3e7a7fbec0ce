#include "exact/rational.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "exact/exact_time.h"

#ifdef BEATMARKS_HAVE_BOOST
#include "exact_reference.h"
#endif

namespace beatmarks {
namespace {

TEST(Rational, ReadsDecimalsAndRefusesAnythingElse) {
  struct Case {
    const char* text;
    const char* numerator;    // nullptr: refused
    const char* denominator;
  };
  const Case cases[] = {
      {"12", "12", "1"},     {"0.1", "1", "10"},  {"1.25", "5", "4"},  {".5", "1", "2"},
      {"5.", "5", "1"},      {"000.000", "0", "1"}, {"0.000000000000000000001", "1", "1" "000000000000000000000"},
      {"123456789012345678901234567890.5", "246913578024691357802469135781", "2"},
      {"", nullptr, nullptr},  {".", nullptr, nullptr},   {"-1", nullptr, nullptr},
      {"+1", nullptr, nullptr}, {"1e3", nullptr, nullptr}, {" 1", nullptr, nullptr},
      {"1 ", nullptr, nullptr}, {"1.2.3", nullptr, nullptr}, {"0x10", nullptr, nullptr},
      {"1,5", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    std::optional<Rational> value = Rational::FromDecimal(c.text);
    ASSERT_EQ(value.has_value(), c.numerator != nullptr) << c.text;
    if (!value) continue;
    EXPECT_EQ(value->numerator().ToDecimal(), c.numerator) << c.text;
    EXPECT_EQ(value->denominator().ToDecimal(), c.denominator) << c.text;
  }
}

#ifdef BEATMARKS_HAVE_BOOST
// The same numerator and denominator as Boost's (which keeps lowest terms).
bool SameTerms(const Rational& value, const testing::RefRational& ref) {
  testing::RefFraction terms = testing::ToRef(value);
  return terms.num == numerator(ref) && terms.den == denominator(ref);
}
#endif

// Every double, subnormals included, converts exactly and back unchanged.
TEST(Rational, DoublesRoundTrip) {
  std::mt19937_64 random(99);
  for (int i = 0; i < 20000; ++i) {
    double value = std::bit_cast<double>(random() % 0x7ff0000000000000u);
    if (i % 4 == 0) value = std::bit_cast<double>(random() % 0x0010000000000000u);  // subnormal
    if (i % 2) value = -value;
    ASSERT_EQ(NearestDouble(Rational::FromDouble(value)), value) << std::hexfloat << value;
#ifdef BEATMARKS_HAVE_BOOST
    ASSERT_TRUE(SameTerms(Rational::FromDouble(value), testing::RefRational(value)));
#endif
  }
}

#ifdef BEATMARKS_HAVE_BOOST
// Results in lowest terms with a positive denominator, exactly as Boost's.
TEST(Rational, MatchesReferenceArithmetic) {
  using testing::RefInt;
  using testing::RefRational;
  std::mt19937_64 random(31);
  auto make = [&random](int bits) {
    testing::RandomPair n = testing::RandomBigInt(random, bits), d = testing::RandomBigInt(random, bits);
    if (d.ref == 0) d = {BigInt(3), 3};
    RefInt sign = d.ref < 0 ? -1 : 1;  // Boost takes positive denominators only
    return std::pair(Rational(n.value, d.value), RefRational(sign * n.ref, sign * d.ref));
  };
  for (int i = 0; i < 5000; ++i) {
    auto [a, ra] = make(i % 20 == 0 ? 600 : 100);
    auto [b, rb] = make(i % 3 == 0 ? 40 : 100);
    ASSERT_TRUE(SameTerms(a, ra));
    ASSERT_TRUE(SameTerms(a + b, ra + rb));
    ASSERT_TRUE(SameTerms(a - b, ra - rb));
    ASSERT_TRUE(SameTerms(a * b, ra * rb));
    ASSERT_EQ((a <=> b) == 0, ra == rb);
    ASSERT_EQ(a < b, ra < rb);
    if (rb != 0) {
      ASSERT_TRUE(SameTerms(a / b, ra / rb));
    }
  }
}
#endif

TEST(Rational, RefusesZeroDenominatorsAndNonFiniteNumbers) {
  // Asserted in a debug build; 0 in a release one.
  struct Case {
    Rational (*make)();
    const char* what;
  };
  const Case cases[] = {
      {[] { return Rational(BigInt(1), BigInt(0)); }, "Rational with a zero denominator"},
      {[] { return Rational::FromFraction(1, 0); }, "Rational with a zero denominator"},
      {[] { return Rational(1) / Rational(0); }, "Division by zero"},
      {[] { return Rational::FromDouble(INFINITY); }, "Not a finite number"},
      {[] { return Rational::FromFloat(NAN); }, "Not a finite number"},
  };
  for (const Case& c : cases) {
    Rational made(9);
    EXPECT_DEBUG_DEATH(made = c.make(), c.what);
#ifdef NDEBUG
    EXPECT_EQ(made, Rational(0)) << c.what;
#endif
  }
}

}  // namespace
}  // namespace beatmarks
