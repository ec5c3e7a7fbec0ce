#include "exact/exact_time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <random>
#include <string>
#include <vector>

#ifdef BEATMARKS_HAVE_BOOST
#include "exact_reference.h"
#endif

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

TEST(LinearTime, RefusesBadArguments) {
  // Asserted in a debug build; in a release one, the exact way for a
  // broken section (-1 + n x -1 s, every time 0 s for a step of 0), and
  // decimals held to 0 to 9.
  std::string out;
  const LinearTime times(Rational(0), Rational(1));
  EXPECT_DEBUG_DEATH(LinearTime(Rational(-1), Rational(1)), "Start time must not be negative");
  EXPECT_DEBUG_DEATH(LinearTime(Rational(0), Rational(0)), "Step must be greater than zero");
  EXPECT_DEBUG_DEATH(LinearTime(Rational(0), Rational(-1)), "Step must be greater than zero");
  EXPECT_DEBUG_DEATH(times.AppendSeconds(1, 10, out), "Decimals must be 0 to 9");
  EXPECT_DEBUG_DEATH(times.AppendSeconds(1, -1, out), "Decimals must be 0 to 9");
  EXPECT_DEBUG_DEATH(AppendSecondsAt(Rational(1), 10, out), "Decimals must be 0 to 9");
#ifdef NDEBUG
  EXPECT_EQ(out, "1.00000000011.000000000");
  EXPECT_EQ(LinearTime(Rational(-1), Rational(-1)).Sample(2, 10), -30);
  EXPECT_EQ(LinearTime(Rational(0), Rational(0)).Nearest(5), 0.0);
#endif
}

// Exact steps, where ties are decided without a fallback, and the limits.
TEST(LinearTime, TiesSaturationAndLayout) {
  struct Case {
    Rational base, step;
    u128 n;
    std::uint32_t rate;
    std::int64_t sample;
    int decimals;
    const char* seconds;
  };
  const u128 huge = u128{1} << 90;
  const Case cases[] = {
      {Rational(0), Rational(1) / 2, 1, 1, 1, 0, "1"},
      {Rational(0), Rational(1) / 2, 3, 1, 2, 0, "2"},
      {Rational(0), Rational(1) / 2000, 1, 1000, 1, 3, "0.001"},
      {Rational(0), Rational(1) / 2000, 0, 1000, 0, 3, "0.000"},
      {Rational(0), Rational(1) / 2000, 1, 1000, 1, 2, "0.00"},
      {Rational(INT64_MAX), Rational(1), 0, 1, INT64_MAX, 1, "9223372036854775807.0"},
      {Rational(INT64_MAX), Rational(1), 1, 1, INT64_MAX, 0, "9223372036854775808"},
      {Rational(0), Rational(1) / 4, huge, 4, INT64_MAX, 0, "309485009821345068724781056"},
      {Rational(0), Rational(1), u128{1} << 64, 1, INT64_MAX, 1, "18446744073709551616.0"},
  };
  for (const Case& c : cases) {
    LinearTime times(c.base, c.step);
    std::string out = "|";
    times.AppendSeconds(c.n, c.decimals, out);
    EXPECT_EQ(times.Sample(c.n, c.rate), c.sample) << c.seconds;
    EXPECT_EQ(out, std::string("|") + c.seconds);
  }
}

#ifdef BEATMARKS_HAVE_BOOST
using testing::RefInt;
using testing::RefFraction;
using testing::RefRational;

RefInt RefFrom128(u128 n) {
  return (RefInt(static_cast<std::uint64_t>(n >> 64)) << 64) | RefInt(static_cast<std::uint64_t>(n));
}

float RandomTempo(std::mt19937_64& random) {
  switch (random() % 8) {
    case 0: return 97.3333f;
    case 1: return 1e-30f;
    case 2: return 3.4e38f;
    case 3: return std::bit_cast<float>(static_cast<std::uint32_t>(1 + random() % 0x7f7fffffu));
    case 4: return std::bit_cast<float>(static_cast<std::uint32_t>(1 + random() % 0x7fffffu));
    default: return 40.0f + static_cast<float>(random() % 200000) / 1000.0f;
  }
}

// 1 to 2^31 - 1, mostly small.
std::int64_t RandomCount(std::mt19937_64& random) {
  switch (random() % 5) {
    case 0: return 1;
    case 1: return INT32_MAX;
    case 2: return 1 + static_cast<std::int64_t>(random() % (std::uint64_t{1} << (random() % 31)));
    default: return 1 + static_cast<std::int64_t>(random() % 16);
  }
}

std::uint32_t RandomRate(std::mt19937_64& random) {
  const std::uint32_t rates[] = {1, 44100, 48000, 96000, UINT32_MAX};
  return random() % 3 ? rates[random() % 5] : static_cast<std::uint32_t>(1 + random() % UINT32_MAX);
}

// Anywhere below count, weighted toward every size.
u128 RandomIndex(std::mt19937_64& random, u128 count) {
  u128 bits = (u128{random()} << 64) | random();
  int width = static_cast<int>(random() % 100);
  u128 n = width >= 128 ? bits : bits & ((u128{1} << width) - 1);
  return random() % 4 == 0 ? count - 1 - n % count : n % count;
}

// A section's start and division length in both kinds, and its division count.
struct Section {
  Rational base, step;
  RefFraction refBase, refStep;
  u128 count;
  float tempo;
};

std::vector<Section> RandomMap(std::mt19937_64& random, int sections) {
  const std::uint64_t whole = random() % 1000, fraction = random() % 1000000;
  const std::string fractionDigits = std::to_string(fraction);
  Rational base = *Rational::FromDecimal(std::to_string(whole) + "." + fractionDigits);
  RefFraction refBase = RefFraction(RefInt(whole)) +
                        RefFraction(fraction, boost::multiprecision::pow(RefInt(10), fractionDigits.size()));
  std::vector<Section> map;
  for (int i = 0; i < sections; ++i) {
    float tempo = RandomTempo(random);
    std::int64_t beats = RandomCount(random), measures = RandomCount(random), divisions = RandomCount(random);
    Rational beat = Rational(60) / Rational::FromFloat(tempo);
    RefFraction refBeat = RefFraction(RefInt(60)) / testing::RefFromFloat(tempo);
    map.push_back({base, beat / Rational(divisions), refBase, refBeat / RefFraction(RefInt(divisions)),
                   u128(measures * beats) * static_cast<std::uint64_t>(divisions), tempo});
    base += beat * Rational(measures * beats);
    refBase = refBase + refBeat * RefFraction(RefInt(measures * beats));
  }
  return map;
}

void ExpectTimesMatch(const LinearTime& times, const Section& s, u128 n, std::uint32_t rate, int decimals) {
  RefFraction t = s.refBase + RefFraction(RefFrom128(n)) * s.refStep;
  const std::string where = "tempo " + std::to_string(s.tempo) + " n " + RefFrom128(n).str() +
                            " rate " + std::to_string(rate) + " decimals " + std::to_string(decimals);
  ASSERT_EQ(times.Sample(n, rate), testing::RefSample(t, rate)) << where;
  std::string out;
  times.AppendSeconds(n, decimals, out);
  ASSERT_EQ(out, testing::RefSeconds(t, decimals)) << where;
  double nearest = times.Nearest(n);
  ASSERT_TRUE(testing::RefIsNearest(t, nearest)) << where << " " << std::hexfloat << nearest;
}

TEST(LinearTime, MatchesExactReferenceOnRandomMaps) {
  std::mt19937_64 random(4242);
  const int kDecimals[] = {3, 6, 9};
  int divisions = 0;
  for (int m = 0; m < 400; ++m) {
    std::vector<Section> map = RandomMap(random, m % 40 == 0 ? 510 : 1 + static_cast<int>(random() % 4));
    for (const Section& s : map) ASSERT_EQ(testing::ToRef(s.base), s.refBase);
    for (int i = 0; i < 25; ++i) {
      const Section& s = map[random() % map.size()];
      const LinearTime times(s.base, s.step);
      std::uint32_t rate = RandomRate(random);
      ASSERT_EQ(times.Sample(0, rate), testing::RefSample(s.refBase, rate));
      for (int j = 0; j < 10; ++j, ++divisions) {
        ExpectTimesMatch(times, s, RandomIndex(random, s.count), rate, kDecimals[j % 3]);
      }
    }
  }
  EXPECT_GE(divisions, 100000);
}

// Times on an exact half of a sample or of the last decimal, and a hair
// either side of one, which only the exact arithmetic can decide.
TEST(LinearTime, HalvesAndNearHalves) {
  std::mt19937_64 random(77);
  const RefRational hair = RefRational(1, boost::multiprecision::pow(RefInt(10), 25));
  for (int i = 0; i < 20000; ++i) {
    const float tempo = 40.0f + static_cast<float>(random() % 200000) / 1000.0f;
    const std::int64_t divisions = 1 + static_cast<std::int64_t>(random() % 16);
    const RefFraction step = RefFraction(RefInt(60)) / testing::RefFromFloat(tempo) / RefFraction(RefInt(divisions));
    const u128 n = random() % (std::uint64_t{1} << (random() % 40));
    const std::uint32_t rate = RandomRate(random);
    const int decimals = static_cast<int>(random() % 10);
    const RefInt scale = i % 2 ? RefInt(rate) : boost::multiprecision::pow(RefInt(10), decimals);
    const RefRational end = RefRational(RefFrom128(n)) * RefRational(step.num, step.den);
    const RefRational scaledEnd = end * scale;
    const RefInt k = numerator(scaledEnd) / denominator(scaledEnd) + 1 + random() % 1000;
    const int side = static_cast<int>(random() % 3) - 1;  // below, on or above the half
    const RefRational t = (RefRational(k) + RefRational(1, 2)) / scale + side * hair / (1 + random() % 1000);
    const RefRational refBase = t - end;
    ASSERT_EQ(testing::RefRoundHalfUp(RefFraction::Of(t), scale), side < 0 ? k : k + 1);
    const Rational base(testing::FromRef(numerator(refBase)), testing::FromRef(denominator(refBase)));
    const Rational stepValue = Rational(60) / Rational::FromFloat(tempo) / Rational(divisions);
    ExpectTimesMatch(LinearTime(base, stepValue), {base, stepValue, RefFraction::Of(refBase), step, n + 1, tempo}, n,
                     rate, decimals);
  }
}
#else
TEST(LinearTime, MatchesExactReferenceOnRandomMaps) {
  GTEST_SKIP() << "Boost.Multiprecision headers not found (Debian: libboost-dev)";
}
#endif

// A time a hair outside a range is shown with the fewest decimals (9 at
// least) that keep it outside: the text lies outside, one decimal fewer would not.
TEST(SecondsOutside, FewestDecimalsThatShowIt) {
  const Rational low(BigInt(1), BigInt(1000000)), high(BigInt(16777215), BigInt(1000000));
  std::mt19937_64 rng(7);
  for (int k = 7; k < 45; ++k) {
    const Rational hair(BigInt(1 + static_cast<std::int64_t>(rng() % 9)), BigInt::PowerOfTen(k));
    for (const Rational& time : {low - hair, high + hair, Rational(20), Rational(0)}) {
      const std::string text = SecondsOutside(time, low, high);
      const Rational shown = *Rational::FromDecimal(text);
      EXPECT_TRUE(shown < low || shown > high) << text;
      const std::size_t decimals = text.find('.') == std::string::npos ? 0 : text.size() - text.find('.') - 1;
      if (decimals > 9) {
        // Rounded to one decimal fewer: to 9 decimals, 10^(decimals - 10) times larger.
        const Rational scale(BigInt::PowerOfTen(static_cast<int>(decimals) - 10), BigInt(1));
        std::string shorter;
        AppendSecondsAt(time * scale, 9, shorter);
        const Rational fewer = *Rational::FromDecimal(shorter) / scale;
        EXPECT_FALSE(fewer < low || fewer > high) << text;
      }
    }
  }
}

// Made from machine fractions (as fitted beats are) or from rationals, a
// section rounds every time alike: denominators below and above 2^64,
// times near 2^64 s, steps that a binary fraction holds and that it does not.
// Its line in machine integers, where it has one, gives the same times.
TEST(LinearTime, FromFractionsMatchesRationals) {
  std::mt19937_64 rng(64);
  const u128 denominators[] = {1, 48000, 1000000, 1000000000000000000ULL, u128{1} << 64, ~u128{0}};
  for (int i = 0; i < 400; ++i) {
    const u128 baseDen = denominators[rng() % 6], stepDen = std::max<u128>(1, denominators[rng() % 6] - rng() % 3);
    const u128 baseNum = i % 7 == 0 ? (u128{rng()} << 64) | rng() : u128{rng() % 4000000} * (rng() % 1000 + 1);
    const u128 stepNum = 1 + (i % 5 == 0 ? u128{rng()} : rng() % 100000);
    const LinearTime quick = LinearTime::FromFractions(baseNum, baseDen, stepNum, stepDen);
    const LinearTime exact(Rational::FromFraction(baseNum, baseDen), Rational::FromFraction(stepNum, stepDen));
    for (const u128 n : {u128{0}, u128{1}, u128{rng() % 100000}, u128{rng()}}) {
      std::string a, b;
      quick.AppendSeconds(n, static_cast<int>(n % 10), a);
      exact.AppendSeconds(n, static_cast<int>(n % 10), b);
      quick.AppendSample(n, 44100, a);
      exact.AppendSample(n, 44100, b);
      ASSERT_EQ(a, b) << i;
      ASSERT_EQ(quick.Nearest(n), exact.Nearest(n)) << i;
      ASSERT_EQ(quick.At(n), exact.At(n)) << i;
      __int128 base = 0, step = 0, den = 0;
      if (quick.MachineLine(base, step, den)) {
        const BigInt at = BigInt::FromUnsigned128(static_cast<u128>(base)) +
                          BigInt::FromUnsigned128(n) * BigInt::FromUnsigned128(static_cast<u128>(step));
        ASSERT_EQ(Rational(at, BigInt::FromUnsigned128(static_cast<u128>(den))), exact.At(n)) << i;
      }
    }
  }
}

}  // namespace
}  // namespace beatmarks
