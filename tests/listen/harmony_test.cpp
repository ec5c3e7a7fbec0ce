// Two or four from where the chords change: chords that change every four
// beats keep four (and say which beat is 1), every two beats make it two,
// and drums alone change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "listen/harmony.h"

namespace beatmarks {
namespace {

// Beats whose chord (a single pitch class) changes every `every` beats,
// the first change on beat `first`.
std::vector<Chroma> Chords(int beats, int every, int first) {
  std::vector<Chroma> chromas(static_cast<std::size_t>(beats));
  for (int k = 0; k < beats; ++k) chromas[static_cast<std::size_t>(k)][static_cast<std::size_t>(((k - first + every * 12) / every) % 12)] = 1;
  return chromas;
}

TEST(Harmony, HalfMeasureChangesWhereTheChordsChange) {
  struct Case {
    int every, first, downbeat;
    std::array<double, 2> changes;
  } cases[] = {
      {4, 0, 0, {1, 0}},  // every measure, on beat 1
      {4, 1, 1, {1, 0}},  // the same after a pickup
      {4, 2, 0, {0, 1}},  // beat 1 taken two beats early: the changes fall on 3
      {2, 0, 0, {1, 1}},  // every two beats
      {2, 1, 3, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("every " + std::to_string(c.every) + " from " + std::to_string(c.first));
    const auto got = HalfMeasureChanges(Chords(33, c.every, c.first), c.downbeat);
    EXPECT_NEAR(got[0], c.changes[0], 1e-9);
    EXPECT_NEAR(got[1], c.changes[1], 1e-9);
  }
  EXPECT_EQ(HalfMeasureChanges(std::vector<Chroma>(3), 0), (std::array<double, 2>{0, 0}));  // too short, or silent
  // Beats not heard (all zero) leave their pairs out, not counted as no change.
  std::vector<Chroma> some = Chords(64, 4, 0);
  for (std::size_t k = 8; k < some.size(); k += 16) std::fill(some.begin() + static_cast<std::ptrdiff_t>(k), some.begin() + static_cast<std::ptrdiff_t>(k + 8), Chroma{});
  EXPECT_EQ(HalfMeasureChanges(some, 0), (std::array<double, 2>{1, 0}));
}

TEST(Harmony, TwoOrFourFromTheChanges) {
  struct Case {
    std::array<double, 2> changes;
    std::int32_t downbeat, meter, heard;
    bool clear;
  } cases[] = {
      {{0.65, 0.07}, 1, 4, 1, true},     // a band: chords every measure
      {{0.82, 0.19}, 2, 4, 2, true},     // jazz: comping between
      {{0.017, 0.017}, 3, 4, 3, false},  // drums alone
      {{0.30, 0.21}, 0, 4, 0, true},     // beat 3's change not clear
      {{0.53, 0.65}, 3, 2, 1, true},     // a march
      {{0.26, 0.38}, 2, 2, 0, true},     // plucked sines
      {{0.20, 0.45}, 1, 4, 3, true},     // mostly on what was taken as beat 3: not two
      {{0.10, 0.60}, 1, 4, 3, true},     // the chords change on what was taken as beat 3
      {{0.25, 0.60}, 1, 4, 3, true},     // and less than half as much on beat 1: not two
      {{0.15, 0.25}, 0, 4, 0, false},    // too little either way to move beat 1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.changes[0]) + " and " + std::to_string(c.changes[1]));
    const MeterGuess guess = TwoOrFour(c.changes, c.downbeat);
    EXPECT_EQ(guess.meter, c.meter);
    EXPECT_EQ(guess.downbeat, c.heard);
    EXPECT_EQ(guess.clear, c.clear);
  }
}

}  // namespace
}  // namespace beatmarks
