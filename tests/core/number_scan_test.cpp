#include "core/number_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>

namespace beatmarks {
namespace {

std::string Rest(TextSource& source) {
  std::string rest;
  for (int c; (c = source.Peek(0)) >= 0; source.Skip(1)) rest.push_back(static_cast<char>(c));
  return rest;
}

struct IntegerCase {
  const char* text;
  IntegerForm form;
  std::optional<std::int32_t> value;
  const char* rest;  // what stays unread
};

TEST(ScanInteger, LongestPrefixClamped) {
  constexpr IntegerForm P = IntegerForm::kPrefixed, D = IntegerForm::kDecimal;
  const IntegerCase cases[] = {
      {"0x7d00", P, 32000, ""},       {"0X7D00 q", P, 32000, " q"},
      {"010", P, 8, ""},              {"010", D, 10, ""},
      {"08", P, 0, "8"},              {"0x", P, 0, "x"},
      {"0xg", P, 0, "xg"},            {"0x10", D, 0, "x10"},
      {"12abc", P, 12, "abc"},        {"  -12", P, -12, ""},
      {"+7", P, 7, ""},               {"+", P, std::nullopt, "+"},
      {"-x", P, std::nullopt, "-x"},  {"abc", P, std::nullopt, "abc"},
      {" \t\n", P, std::nullopt, ""}, {"", D, std::nullopt, ""},
      {"2147483647", D, INT32_MAX, ""},  {"2147483648", D, INT32_MAX, ""},
      {"-2147483648", D, INT32_MIN, ""}, {"-2147483649", D, INT32_MIN, ""},
      {"0xFFFFFFFF", P, INT32_MAX, ""},  {"-0x80000000", P, INT32_MIN, ""},
      {"99999999999999999999999999", D, INT32_MAX, ""},
  };
  for (const IntegerCase& c : cases) {
    TextSource source(c.text);
    EXPECT_EQ(ScanInteger(source, c.form), c.value) << c.text;
    EXPECT_EQ(Rest(source), c.rest) << c.text;
  }
}

struct DecimalCase {
  const char* text;
  std::optional<float> value;
  const char* rest;
};

TEST(ScanDecimal, LongestPrefixRoundedOnce) {
  const DecimalCase cases[] = {
      {"144.6", 144.6f, ""},  {"5.", 5.0f, ""},           {".5x", 0.5f, "x"},
      {"-.5", -0.5f, ""},     {"1e", 1.0f, "e"},          {"1e+", 1.0f, "e+"},
      {"1E-2;", 0.01f, ";"},  {"2e3x", 2000.0f, "x"},     {".", std::nullopt, "."},
      {"-", std::nullopt, "-"}, {"+.e1", std::nullopt, "+.e1"}, {"inf", std::nullopt, "inf"},
      {"nan", std::nullopt, "nan"}, {"0x1p3", 0.0f, "x1p3"}, {"  007.50", 7.5f, ""},
      {"1e999999999999999", INFINITY, ""}, {"1e-999999999999", 0.0f, ""},
      {"1.00000005960464477539062500000001", 1.00000012f, ""},
  };
  for (const DecimalCase& c : cases) {
    TextSource source(c.text);
    std::optional<std::string> canonical = ScanDecimal(source);
    ASSERT_EQ(canonical.has_value(), c.value.has_value()) << c.text;
    if (canonical) {
      EXPECT_EQ(DecimalToFloat(*canonical), *c.value) << c.text;
    }
    EXPECT_EQ(Rest(source), c.rest) << c.text;
  }
}

// Long numbers keep only some digits; they must still round as the whole
// text does.
TEST(ScanDecimal, LongNumbersRoundAsTheWholeText) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> digit(0, 9), length(150, 400), point(0, 400),
      exponent(-80, 40);
  for (int i = 0; i < 2000; ++i) {
    std::string text;
    int n = length(random);
    int at = point(random) % n;
    for (int k = 0; k < n; ++k) {
      if (k == at) text += '.';
      text += static_cast<char>('0' + digit(random));
    }
    text += 'e';
    text += std::to_string(exponent(random));
    TextSource source(text);
    std::string canonical = *ScanDecimal(source);
    EXPECT_EQ(DecimalToFloat(canonical), std::strtof(text.c_str(), nullptr)) << text;
    EXPECT_EQ(DecimalToDoubleToFloat(canonical),
              NarrowToFloat(std::strtod(text.c_str(), nullptr)))
        << text;
  }
}

TEST(NarrowToFloat, RoundsPastTheLargestFloat) {
  const double max = FLT_MAX;
  const double midpoint = max + std::ldexp(1.0, 103);
  EXPECT_EQ(NarrowToFloat(max), FLT_MAX);
  EXPECT_EQ(NarrowToFloat(std::nextafter(midpoint, 0.0)), FLT_MAX);
  EXPECT_EQ(NarrowToFloat(midpoint), INFINITY);
  EXPECT_EQ(NarrowToFloat(-midpoint), -INFINITY);
  EXPECT_EQ(NarrowToFloat(1e300), INFINITY);
  EXPECT_EQ(NarrowToFloat(144.6), 144.6f);
  EXPECT_TRUE(std::isnan(NarrowToFloat(NAN)));
}

// Generated integers of 2 to 26 digits, with blanks, signs and trailing
// text: the exact value clamped to 64 bits, and again to 32.
TEST(DecimalInt64, ReadsAsTheClampedExactValue) {
  std::mt19937_64 random(64);
  for (int i = 0; i < 20000; ++i) {
    const std::string digits =  // 19 digits, cut, then up to 7 more
        std::to_string(random() | 1ULL << 63).substr(random() % 19) + std::to_string(random() % 10000000);
    const std::string signs[] = {"", " ", "\t\n-", "+", "-"}, sign = signs[random() % 5];
    __int128 exact = 0;
    for (char c : digits) exact = std::min<__int128>(exact * 10 + (c - '0'), __int128{1} << 64);
    exact = std::clamp<__int128>(sign.ends_with('-') ? -exact : exact, INT64_MIN, INT64_MAX);
    const std::string text = sign + digits + (i % 5 == 0 ? "x9" : "");
    EXPECT_EQ(DecimalInt64(text), static_cast<std::int64_t>(exact)) << text;
    EXPECT_EQ(DecimalInt32(text), std::clamp<__int128>(exact, INT32_MIN, INT32_MAX)) << text;
  }
}

TEST(MeasureIndex, WrapsIn32Bits) {
  EXPECT_EQ(MeasureIndex(1), 0);
  EXPECT_EQ(MeasureIndex(0), -1);
  EXPECT_EQ(MeasureIndex(INT32_MIN), INT32_MAX);
}

}  // namespace
}  // namespace beatmarks
