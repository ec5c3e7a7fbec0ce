#include "formats/digits.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace beatmarks {
namespace {

// Every count below 20,000, the edges of every length, and random values of
// every length: what the whole-number and unit writers make, against
// std::to_chars and printf.
std::vector<std::uint64_t> Values() {
  std::vector<std::uint64_t> values;
  for (std::uint64_t v = 0; v < 20000; ++v) values.push_back(v);
  std::mt19937_64 random(7);
  for (std::uint64_t ten = 10;; ten *= 10) {
    for (std::uint64_t v : {ten - 1, ten, ten + 1}) values.push_back(v);
    for (int k = 0; k < 300; ++k) values.push_back(random() % ten);
    if (ten == 10000000000000000000ull) break;
  }
  values.push_back(UINT64_MAX);
  return values;
}

template <int kDecimals>
std::string Units(std::uint64_t units) {
  char text[64];
  const std::uint64_t one = kDecimals == 6 ? 1000000 : 1000000000;
  std::snprintf(text, sizeof text, "%" PRIu64 ".%0*" PRIu64, units / one, kDecimals, units % one);
  return text;
}

TEST(Digits, MatchToCharsAndPrintf) {
  for (const std::uint64_t v : Values()) {
    char want[24], got[48];
    const std::string whole(want, std::to_chars(want, want + 24, v).ptr);
    ASSERT_EQ(std::string(got, PutWhole(got, v)), whole) << v;
    ASSERT_EQ(std::string(got, PutUnits<6>(got, v)), Units<6>(v)) << v;
    ASSERT_EQ(std::string(got, PutUnits<9>(got, v)), Units<9>(v)) << v;
  }
}

}  // namespace
}  // namespace beatmarks
