// Offsets at the edges of the exact arithmetic, through the built program:
// halfway cases of the nearest double, and decimals too long for any
// machine integer checked against Boost.Multiprecision.
#include <gtest/gtest.h>

#include <charconv>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/run_program.h"
#ifdef BEATMARKS_HAVE_BOOST
#include "exact_reference.h"
#endif

namespace beatmarks::testing {
namespace {

std::string Shortest(double value) {
  char digits[32];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

std::string FieldAfter(const std::string& text, const std::string& name) {
  std::size_t at = text.find("\"" + name + "\":");
  if (at == std::string::npos) return "";
  at += name.size() + 3;
  return text.substr(at, text.find_first_of(",}", at) - at);
}

// JSON numbers are the nearest doubles, ties to the even one. Below 2^64 s
// the first time takes the fixed-point path, above it the exact one.
TEST(ExactOffsets, JsonTiesGoToTheEvenDouble) {
  struct Case {
    const char* offset;
    double nearest;
  };
  const Case cases[] = {
      {"9007199254740993", 9007199254740992.0},  // 2^53 + 1: down to the even
      {"9007199254740995", 9007199254740996.0},  // 2^53 + 3: up to the even
      {"9007199254740993.000000000000000000001", 9007199254740994.0},  // past halfway
      {"36893488147419107328", 0x1p65},  // 2^65 + 2^12
      {"36893488147419115520", 0x1.0000000000002p65},  // 2^65 + 3 x 2^12
      {"36893488147419107327.999999999999999999", 0x1p65},
  };
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t1\n");
  for (const Case& c : cases) {
    RunResult r =
        RunBeatmarks({"-f", "json", std::string("--offset=") + c.offset, "map.tmap", "-"}, "",
                     folder.path());
    EXPECT_EQ(r.status, 0) << c.offset;
    EXPECT_EQ(FieldAfter(r.out, "offset"), Shortest(c.nearest)) << c.offset;
    EXPECT_EQ(FieldAfter(r.out, "time"), Shortest(c.nearest)) << c.offset;
  }
}

#ifdef BEATMARKS_HAVE_BOOST

// The decimal read the plain way: all digits, over a power of ten.
RefFraction RefDecimal(std::string digits) {
  std::size_t point = digits.find('.');
  unsigned after = point == std::string::npos ? 0 : unsigned(digits.size() - point - 1);
  if (point != std::string::npos) digits.erase(point, 1);
  digits.erase(0, digits.find_first_not_of('0'));  // a leading 0 would read as octal
  return {RefInt(digits.empty() ? "0" : digits), boost::multiprecision::pow(RefInt(10), after)};
}

// Offsets longer than any machine integer, runs of nines across the chunks
// the reader takes: the CSV times and frames of the first beats of a map at
// 97.3333 a minute, against the same sums done in Boost's integers.
TEST(ExactOffsets, LongDecimalOffsetsAreReadExactly) {
  const char* const offsets[] = {
      "9999999999999999999.5",
      "1234567890123456789012345678901234567890",
      "99999999999999999999999999999999999999.99",
      "999999999999999999999999999999999999999999999999999999999",
      "0000000000000000000000000000000000000042.5",
      "123456789.12345678901234567899999999999999999999",
      "0.000000000000000000000000000000000000001234567890",
      "9223372036854775807.9999999999999999999",
  };
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t97.3333\t3\t2\n");
  const RefFraction beat(RefInt(60 * 10000), RefInt(973333));
  for (const char* offset : offsets) {
    RunResult r = RunBeatmarks({"-f", "csv", std::string("--offset=") + offset, "map.tmap", "-"},
                               "", folder.path());
    ASSERT_EQ(r.status, 0) << offset << r.err;
    std::istringstream csv(r.out);
    std::string line;
    std::getline(csv, line);
    RefFraction time = RefDecimal(offset);
    for (int k = 0; k < 6; ++k, time = time + beat) {
      ASSERT_TRUE(std::getline(csv, line)) << offset;
      const std::string m = std::to_string(k / 3 + 1), b = std::to_string(k % 3 + 1);
      EXPECT_EQ(line, RefSeconds(time, 9) + "," + RefRoundHalfUp(time, 44100).str() + "," +
                          m + "," + b + ",1," + m + "." + b + "\r")
          << offset;
    }
  }
}

#endif

}  // namespace
}  // namespace beatmarks::testing
