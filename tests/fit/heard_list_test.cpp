// One tap numbers a recording heard whole: the beat heard nearest it takes
// its place, the rest follow; a tap between beats is refused.
#include <gtest/gtest.h>

#include <string>

#include "fit/heard_list.h"

namespace beatmarks {
namespace {

std::string PlaceText(const BeatList& list, std::size_t k) {
  const BeatPlace p = list.PlaceOf(k);
  return std::to_string(p.measure + list.firstNumber) + "." + std::to_string(p.beat + 1);
}

// Twelve beats heard in 4/4, 500 ms apart from 0.3 s, at 1 kHz.
HeardBeats TwelveBeats() {
  HeardBeats heard;
  heard.rate = 1000, heard.meter = 4;
  for (int k = 0; k < 12; ++k) heard.samples.push_back(300 + 500 * k);
  return heard;
}

TEST(HeardList, NumberedFromOneTap) {
  struct Case {
    TapAnchor tap;
    std::size_t tapped;
    std::string first, atTap;  // the places of beat 0 and of the tapped beat
  } cases[] = {
      {{1.31, 0, 1, 0}, 2, "0.3", "1.1"},   // a little late, no place: 1.1
      {{1.30, 1, 5, 0}, 2, "4.4", "5.2"},   // its own place
      {{1.30, 0, 0, 1}, 2, "0.2", "0.4"},   // --pickup=1: the last beat before 1.1
      {{0.20, 0, 1, 0}, 0, "1.1", "1.1"},   // early, before the first beat heard
      {{5.85, 2, 3, 0}, 11, "0.4", "3.3"},  // the last
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.tap.seconds) + " s");
    HeardBeats heard = TwelveBeats();
    BeatList list;
    std::size_t tapped = 99;
    std::string error;
    ASSERT_TRUE(ListFromTap(heard, c.tap, list, tapped, error)) << error;
    EXPECT_EQ(tapped, c.tapped);
    EXPECT_EQ(PlaceText(list, 0), c.first);
    EXPECT_EQ(PlaceText(list, tapped), c.atTap);
    EXPECT_EQ(list.size(), 12u);
  }
}

TEST(HeardList, RefusesATapBetweenBeats) {
  HeardBeats heard = TwelveBeats();
  BeatList list;
  std::size_t tapped = 0;
  std::string error;
  EXPECT_TRUE(ListFromTap(heard, {1.424, 0, 1, 0}, list, tapped, error)) << error;  // 124 ms off: near enough
  EXPECT_FALSE(ListFromTap(heard, {1.55, 0, 1, 0}, list, tapped, error));
  EXPECT_EQ(error, "the tap at 1.550000 s is not near a beat heard");
}

}  // namespace
}  // namespace beatmarks
