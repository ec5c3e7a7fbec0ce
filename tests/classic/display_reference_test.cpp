// The generator against the plain walk of every division, on random maps,
// ranges and divisions, byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "classic/display.h"
#include "reference_display.h"

namespace beatmarks {
namespace {

using testing::ReferenceDisplay;
using testing::ReferenceSection;

float RandomTempo(std::mt19937& random) {
  switch (random() % 4) {
    case 0: return static_cast<float>(40 + random() % 200);
    case 1: return static_cast<float>(std::exp2(std::uniform_real_distribution<>(-10, 20)(random)));
    case 2: return 144.6f;
    default: return std::uniform_real_distribution<float>(20.0f, 300.0f)(random);
  }
}

struct Generated {
  std::vector<ReferenceSection> sections;
  std::int32_t rate, start, stop, divisions;
};

Generated RandomCase(std::mt19937& random, int maxMeasures) {
  Generated g;
  int count = static_cast<int>(random() % 6);
  for (int i = 0; i < count; ++i) {
    g.sections.push_back({RandomTempo(random), static_cast<std::int32_t>(1 + random() % 6),
                          static_cast<std::int32_t>(random() % (maxMeasures + 2)) - 1});
  }
  const std::int32_t rates[] = {44100, 48000, 96000, 1, 0, -1, 8000};
  g.rate = rates[random() % 7];
  g.start = static_cast<std::int32_t>(random() % (maxMeasures * 3 + 4)) - 2;
  g.stop = g.start + static_cast<std::int32_t>(random() % (maxMeasures + 3)) - 2;
  g.divisions = static_cast<std::int32_t>(1 + random() % 5);
  return g;
}

// Returns whether the list was cut at its size limit.
bool ExpectSameAsReference(const Generated& g) {
  static ProgramState state;
  testing::LoadSections(g.sections, state);
  bool cut = false;
  Display(state.sectionCount, state.tempo, state.measures, state.beatsPerMeasure, g.rate,
          g.start, g.stop, g.divisions, state.outText, cut);
  testing::ReferenceList expected = ReferenceDisplay(g.sections, g.rate, g.start, g.stop, g.divisions);
  EXPECT_EQ(std::string(state.outText.data()), expected.text)
      << g.sections.size() << " sections, range " << g.start << ".." << g.stop << ", divisions "
      << g.divisions;
  EXPECT_EQ(cut, expected.cut);
  return cut;
}

TEST(DisplayAgainstPlainWalk, SmallRandomMaps) {
  std::mt19937 random(20261207);
  for (int i = 0; i < 3000; ++i) ExpectSameAsReference(RandomCase(random, 12));
}

TEST(DisplayAgainstPlainWalk, LongMapsAndCutLists) {
  std::mt19937 random(42);
  int cuts = 0;
  for (int i = 0; i < 60; ++i) cuts += ExpectSameAsReference(RandomCase(random, 3000));
  EXPECT_GT(cuts, 5);
}

}  // namespace
}  // namespace beatmarks

namespace beatmarks {
namespace {

// Ranges far into long maps, where the generator jumps over millions of
// divisions that the plain walk adds one by one.
TEST(DisplayAgainstPlainWalk, FarRangesOfLongMaps) {
  std::mt19937 random(7);
  for (int i = 0; i < 6; ++i) {
    Generated g;
    std::int32_t total = 0;
    for (int k = 0; k < 3; ++k) {
      std::int32_t measures = static_cast<std::int32_t>(100000 + random() % 300000);
      g.sections.push_back({RandomTempo(random), static_cast<std::int32_t>(1 + random() % 7), measures});
      total += measures;
    }
    g.rate = 96000;
    g.divisions = static_cast<std::int32_t>(1 + random() % 8);
    g.start = total - 1 - static_cast<std::int32_t>(random() % 200000);
    g.stop = g.start + 2;
    ExpectSameAsReference(g);
  }
}

}  // namespace
}  // namespace beatmarks
