#include "fit/beat_list.h"

#include <gtest/gtest.h>

namespace beatmarks {
namespace {

// Measures of `lengths` beats given whole, then `last` beats of one more:
// that last measure is filled up to the length of the one before it (or the
// meter asked for when it is the only one), and never cut.
TEST(BeatList, LastMeasureFilledToTheOneBefore) {
  for (const std::int32_t before : {0, 1, 2, 3, 4, 7}) {
    for (std::int32_t last = 1; last <= 8; ++last) {
      for (const std::int32_t meter : {1, 4}) {
        SCOPED_TRACE(std::to_string(before) + " then " + std::to_string(last) + ", meter " +
                     std::to_string(meter));
        BeatListBuilder builder(meter);
        std::int64_t line = 0;
        auto add = [&](std::int64_t measure, std::int32_t beats) {
          for (std::int32_t b = 0; b < beats; ++b, ++line) {
            ASSERT_TRUE(builder.AddDecimal(std::to_string(line) + ".5", BeatPlace{measure, b},
                                           {BeatSource::Kind::kLine, static_cast<std::uint64_t>(line)}))
                << builder.error();
          }
        };
        if (before > 0) add(1, before);
        add(before > 0 ? 2 : 1, last);
        if (line < 2) continue;  // one beat is no fit
        BeatList list;
        ASSERT_TRUE(builder.Finish(list)) << builder.error();
        EXPECT_EQ(list.measureCount, before > 0 ? 2 : 1);
        EXPECT_EQ(list.runs.back().beats, std::max(last, before > 0 ? before : meter));
      }
    }
  }
}

}  // namespace
}  // namespace beatmarks
