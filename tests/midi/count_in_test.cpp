#include "midi/count_in.h"

#include <gtest/gtest.h>

namespace beatmarks {
namespace {

// Whole measures that fill the offset exactly, as many as the first tempo
// nearly fills while that tempo is one a DAW shows, else kept to 20 to 300
// quarter notes a minute (one measure when even that is too long).
TEST(CountIn, WholeMeasuresAtATempoADawShows) {
  const struct {
    const char* offset;  // seconds
    const char* first;   // quarter notes a minute
    std::int64_t measureTicks, measures;
    bool kept;
  } cases[] = {
      {"2.5", "96", 3840, 1, false},          // the song's own tempo
      {"60", "120", 3840, 30, false},         // a long intro: the bars go on before the song
      {"1", "100", 3840, 1, false},           // shorter than a measure: one, a little fast
      {"8.789", "2671860", 3840, 10, true},   // a first interval of 22 us
      {"0.1", "2671860", 2880, 1, true},      // too short for 300: one measure
      {"600", "5", 3840, 50, true},           // too slow: 20 a minute
      {"10", "1000", 1440, 33, true},         // 3/8: 300 a minute, as near as whole measures go
      {"0.5", "100", 4320, 1, false},         // 9/8, shorter than a measure at 300: one, not two
      {"5.4", "100", 4320, 2, false},         // 9/8 at the first tempo: two measures of 2.7 s
      {"8.1", "100", 4320, 3, false},         // and three, an odd number
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offset + std::string(" s at ") + c.first);
    const Rational offset = *Rational::FromDecimal(c.offset) * Rational(1000000);
    const Rational first = Rational(60000000) / *Rational::FromDecimal(c.first);
    CountIn plan;
    ASSERT_EQ(PlanCountIn(offset, first, c.measureTicks, 960, plan), "");
    EXPECT_EQ(plan.measures, c.measures);
    EXPECT_EQ(plan.kept, c.kept);
    EXPECT_EQ(plan.microsPerQuarter * Rational(plan.measures * c.measureTicks) / Rational(960), offset);
    EXPECT_EQ(DescribeCountIn(plan).empty(), !c.kept);
    const bool inRange = plan.microsPerQuarter >= Rational(200000) &&
                         plan.microsPerQuarter <= Rational(3000000);
    EXPECT_TRUE(inRange || plan.measures == 1 || !c.kept);
  }
}

}  // namespace
}  // namespace beatmarks
