// Beats divided in three (a compound meter's eighths) told from beats
// divided in two or four, over attack lists made here.
#include "listen/beat_division.h"

#include <gtest/gtest.h>

namespace beatmarks {
namespace {

// 20 beats 600 samples apart, with attacks at the given parts of every beat.
std::vector<Attack> Divided(const std::vector<double>& parts, std::vector<std::int64_t>& beats) {
  std::vector<Attack> attacks;
  beats.clear();
  for (std::int64_t b = 0; b < 20; ++b) {
    beats.push_back(1000 + 600 * b);
    attacks.push_back({beats.back(), 30});
    for (double part : parts) attacks.push_back({beats.back() + static_cast<std::int64_t>(600 * part), 15});
  }
  return attacks;
}

TEST(BeatDivision, ThirdsFromHalvesAndQuarters) {
  const struct {
    const char* name;
    std::vector<double> parts;
    bool three;
  } cases[] = {
      {"eighths of a dotted quarter", {1.0 / 3, 2.0 / 3}, true},
      {"only the second eighth", {1.0 / 3}, true},
      {"eighths of a quarter", {0.5}, false},
      {"sixteenths", {0.25, 0.5, 0.75}, false},
      {"a swung eighth and the quarter in a half note", {1.0 / 3, 0.5}, false},
      {"nothing between the beats", {}, false},
  };
  for (const auto& c : cases) {
    std::vector<std::int64_t> beats;
    const std::vector<Attack> attacks = Divided(c.parts, beats);
    EXPECT_EQ(DividedInThree(attacks, beats), c.three) << c.name;
  }
  EXPECT_FALSE(DividedInThree({}, {})) << "no beats";
}

}  // namespace
}  // namespace beatmarks
