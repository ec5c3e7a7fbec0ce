#include "formats/text_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace beatmarks {
namespace {

TEST(TextBuilder, FixedThreeDecimalsAsPrintfWritesThem) {
  static TextBuffer buffer;
  std::mt19937_64 random(99);
  std::uniform_real_distribution<double> exponent(-20.0, 80.0);
  for (int i = 0; i < 100000; ++i) {
    double value = std::exp2(exponent(random));
    if (i % 3 == 0) value = std::ldexp(static_cast<double>(random() % 100000), -(i % 12));  // ties
    if (i % 3 == 1) {  // a few doubles either side of a half-way point
      value = (static_cast<double>(random() % 100000000) + 0.5) / 1000.0;
      for (int k = static_cast<int>(random() % 7) - 3; k != 0; k += k > 0 ? -1 : 1) {
        value = std::nextafter(value, k > 0 ? INFINITY : 0.0);
      }
    }
    if (i == 0) value = -0.0;
    TextBuilder text(buffer);
    text.PutFixed3(value).EndFragment();
    char expected[512];
    std::snprintf(expected, sizeof expected, "%.3f", value);
    ASSERT_STREQ(buffer.data(), expected) << std::hexfloat << value;
  }
}

TEST(TextBuilder, FirstFragmentThatDoesNotFitEndsTheTextAtItsLastLine) {
  static TextBuffer buffer;
  TextBuilder text(buffer);
  const std::string line(99, 'x');
  for (int i = 0; i < 655; ++i) text.PutText(line).PutText("\n").EndFragment();  // 65500
  text.PutText("M ").PutInteger(12345).PutText("\t").EndFragment();             // fits: 65508
  EXPECT_FALSE(text.cut());
  text.PutText("B 1\t").EndFragment();
  text.PutFixed3(1e30).PutText(" sec\t").PutInteger(5).PutText(" smp\n").EndFragment();
  EXPECT_TRUE(text.cut());
  EXPECT_EQ(text.length(), 65500u);
  text.Append("\n");  // would fit, but the text has ended
  EXPECT_EQ(text.length(), 65500u);
  EXPECT_EQ(std::string(buffer.data()).size(), 65500u);
  EXPECT_EQ(buffer[65499], '\n');
}

TEST(TextBuilder, FillsToExactlyTheLimit) {
  static TextBuffer buffer;
  TextBuilder text(buffer);
  text.PutText(std::string(65534, 'x')).PutText("\n").EndFragment();
  EXPECT_FALSE(text.cut());
  EXPECT_EQ(text.length(), 65535u);
  text.Append("\n");
  EXPECT_TRUE(text.cut());
  EXPECT_EQ(text.length(), 65535u);
}

}  // namespace
}  // namespace beatmarks
