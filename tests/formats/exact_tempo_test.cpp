#include "formats/exact_tempo.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#ifdef BEATMARKS_HAVE_BOOST
#include <boost/multiprecision/cpp_int.hpp>
#endif

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

struct Taken {
  u128 numerator;
  std::uint64_t denominator;
  std::int64_t beats;
};

std::string TextOf(const std::vector<Taken>& tempos) {
  ExactTempoSpread spread;
  for (const Taken& t : tempos) spread.Add(t.numerator, t.denominator, t.beats);
  std::string text;
  spread.AppendText(text);
  return text;
}

constexpr u128 kTen19 = 10000000000000000000ull;

// Roundings a float or a double gets wrong, halves (up), and means exactly
// on a half, which the 64-bit fractions cannot settle.
TEST(ExactTempoSpread, RoundsTheExactValueOnce) {
  const struct {
    const char* name;
    std::vector<Taken> tempos;
    std::string text;
  } cases[] = {
      {"9 ns a beat", {{60000000000, 9, 1}}, "6666666666.67"},
      {"a half, up", {{100005, 1000, 3}}, "100.01"},
      {"just below a half", {{100004999999, 1000000000, 1}}, "100.00"},
      {"one number when all round alike", {{100001, 1000, 1}, {100002, 1000, 2}}, "100.00"},
      {"mean on a half, up", {{100, 1, 1}, {10001, 100, 1}}, "100.00\u2013100.01\u2013100.01"},
      {"mean on a half of thirds", {{301, 3, 1}, {30101, 300, 1}}, "100.33\u2013100.34\u2013100.34"},
      {"weighted by beats", {{60, 1, 3}, {120, 1, 1}}, "60.00\u201375.00\u2013120.00"},
      {"the fastest a tick allows", {{60 * kTen19, 1, 1}}, "600000000000000000000.00"},
      {"a beat of 2^64 - 1 ticks", {{60 * kTen19, UINT64_MAX, 2}, {60, 1, 1}}, "32.53\u201341.68\u201360.00"},
      {"no beats", {{60, 1, 0}}, "0.00"},
  };
  for (const auto& c : cases) EXPECT_EQ(TextOf(c.tempos), c.text) << c.name;
}

TEST(ExactTempoSpread, ClearStartsAfresh) {
  ExactTempoSpread spread;
  spread.Add(10001, 100, 1);
  spread.Clear();
  spread.Add(60, 1, 1);
  std::string text;
  spread.AppendText(text);
  EXPECT_EQ(text, "60.00");
}

#ifdef BEATMARKS_HAVE_BOOST
using boost::multiprecision::cpp_int;

cpp_int Big(u128 value) {
  return (cpp_int(static_cast<std::uint64_t>(value >> 64)) << 64) + static_cast<std::uint64_t>(value);
}

std::string Hundredths(const cpp_int& h) {
  std::string digits = cpp_int(h / 100).str() + ".";
  const int cents = static_cast<int>(cpp_int(h % 100));
  return digits + static_cast<char>('0' + cents / 10) + static_cast<char>('0' + cents % 10);
}

// Measures of random tempos (some of the same few, so that means fall on
// halves) against a plain exact sum.
TEST(ExactTempoSpread, MatchesAnExactSum) {
  std::mt19937_64 random(32);
  const std::uint64_t few[] = {1, 2, 3, 4, 8, 25, 100, 300};
  for (int round = 0; round < 20000; ++round) {
    std::vector<Taken> tempos;
    const int count = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < count; ++i) {
      const bool small = random() % 2 == 0;
      const std::uint64_t den = small ? few[random() % 8] : 1 + random() % (round % 3 == 0 ? UINT64_MAX : 1000000007);
      const u128 num = small ? 100 * den + random() % (3 * den) : (u128{random() % (1u << 12)} << 64 | random());
      tempos.push_back({num, den, 1 + static_cast<std::int64_t>(random() % 7)});
    }
    cpp_int sumNum = 0, sumDen = 1, least = -1, most = -1;
    std::int64_t beats = 0;
    for (const Taken& t : tempos) {
      const cpp_int h = (200 * Big(t.numerator) + t.denominator) / (2 * cpp_int(t.denominator));
      least = least < 0 ? h : std::min(least, h);
      most = std::max(most, h);
      sumNum = sumNum * t.denominator + t.beats * Big(t.numerator) * sumDen;
      sumDen *= t.denominator;
      beats += t.beats;
    }
    const cpp_int mean = (200 * sumNum + beats * sumDen) / (2 * beats * sumDen);
    const std::string want = least == most ? Hundredths(least)
                                           : Hundredths(least) + "\u2013" + Hundredths(mean) + "\u2013" + Hundredths(most);
    ASSERT_EQ(TextOf(tempos), want) << "round " << round;
  }
}
#endif

}  // namespace
}  // namespace beatmarks
