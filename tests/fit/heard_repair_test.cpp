// A plain list of taps mended by the attacks its recording has: the beats
// a phrase that broadens hides from the intervals, a tap with no attack
// between two beats that have theirs, and nothing where the recording does
// not show it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "fit/heard_repair.h"

namespace beatmarks {
namespace {

constexpr std::uint32_t kRate = 48000;

struct HeardCase {
  const char* name;
  std::vector<double> beats;    // as played, in seconds
  std::vector<double> taps;     // as tapped (10 ms late)
  std::vector<double> quiet;    // beats played without an attack
  std::size_t count;            // beats after mending
  std::vector<TapRepair::Kind> repairs;
};

void PrintTo(const HeardCase& c, std::ostream* os) { *os << c.name; }

std::vector<double> Steady(double from, double step, int count) {
  std::vector<double> t;
  for (int i = 0; i < count; ++i) t.push_back(from + step * i);
  return t;
}

std::vector<double> Join(std::vector<double> a, const std::vector<double>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<double> Without(std::vector<double> t, std::size_t k) {
  t.erase(t.begin() + static_cast<std::ptrdiff_t>(k));
  return t;
}

std::vector<double> With(std::vector<double> t, double extra) {
  t.push_back(extra);
  std::sort(t.begin(), t.end());
  return t;
}

// Half a second a beat, then a phrase that slows to a second.
const std::vector<double> kBroadens = Join(Steady(1.0, 0.5, 8), Steady(5.0, 1.0, 5));

BeatsRead Read(const std::vector<double>& taps) {
  BeatsRead read;
  read.beats.ticksPerSecond = 1'000'000;
  for (const double t : taps) read.beats.ticks.push_back(static_cast<std::uint64_t>(std::llround((t + 0.01) * 1e6)));
  read.beats.runs = {{0, 0, 4}};
  read.beats.measureCount = static_cast<std::int64_t>((taps.size() - 1) / 4 + 1);
  return read;
}

AttackList Attacks(const std::vector<double>& beats, const std::vector<double>& quiet) {
  AttackList list;
  list.rate = kRate;
  list.frames = static_cast<std::int64_t>(20 * kRate);
  for (const double t : beats) {
    if (std::find(quiet.begin(), quiet.end(), t) != quiet.end()) continue;
    list.attacks.push_back({static_cast<std::int64_t>(std::llround(t * kRate)), 20, -12});
  }
  return list;
}

class HeardRepair : public ::testing::TestWithParam<HeardCase> {};

TEST_P(HeardRepair, MendsWhatTheRecordingShows) {
  const HeardCase& c = GetParam();
  BeatsRead read = Read(c.taps);
  MendByAttacks(Attacks(c.beats, c.quiet), read);
  ASSERT_EQ(read.beats.size(), c.count);
  ASSERT_EQ(read.repairs.size(), c.repairs.size());
  for (std::size_t i = 0; i < c.repairs.size(); ++i) {
    EXPECT_EQ(read.repairs[i].kind, c.repairs[i]) << i;
    EXPECT_TRUE(read.repairs[i].heard) << i;
  }
  EXPECT_EQ(read.beats.measureCount, static_cast<std::int64_t>((c.count - 1) / 4 + 1));
  for (std::size_t k = 1; k < read.beats.size(); ++k) EXPECT_LT(read.beats.ticks[k - 1], read.beats.ticks[k]);
  if (c.count == c.beats.size()) {
    // Every beat within a millisecond of where it was played, lag and all.
    for (std::size_t k = 0; k < c.count; ++k) {
      EXPECT_NEAR(static_cast<double>(read.beats.ticks[k]) / 1e6, c.beats[k] + 0.01, 0.001) << k;
    }
  }
}

using Kind = TapRepair::Kind;
INSTANTIATE_TEST_SUITE_P(
    Taps, HeardRepair,
    ::testing::Values(
        HeardCase{"MissedWhereItBroadens", kBroadens, Without(kBroadens, 9), {}, 13, {Kind::kMissed}},
        HeardCase{"TwoMissedInALongGap", kBroadens, Without(Without(kBroadens, 10), 9), {}, 13,
                  {Kind::kMissed}},
        HeardCase{"ExtraTapWithoutAttack", kBroadens, With(kBroadens, 7.48), {}, 13, {Kind::kNoAttack}},
        HeardCase{"HeldNoteKeepsItsGap", kBroadens, Without(kBroadens, 9), {kBroadens[9]}, 12, {}},
        HeardCase{"ExtraTapOnAnAttackStays", With(kBroadens, 7.48), With(kBroadens, 7.48), {}, 14, {}},
        HeardCase{"SteadyListUntouched", Steady(1.0, 0.5, 20), Steady(1.0, 0.5, 20), {}, 20, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace beatmarks
