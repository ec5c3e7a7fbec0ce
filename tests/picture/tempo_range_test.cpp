// The picture's tempo axis against percentiles computed here by sorting:
// generated performances with and without stray tempos, and maps of a few
// sections, whose axes must stay as they were.
#include "picture/tempo_range.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace beatmarks {
namespace {

// The tempo at a share of the time, steps sorted by tempo (the last lasts until `end`).
double Percentile(const std::vector<TempoStep>& steps, double end, double share) {
  std::vector<std::pair<double, double>> timed;
  double total = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const double t = (i + 1 < steps.size() ? steps[i + 1].start : end) - steps[i].start;
    timed.emplace_back(steps[i].bpm, t);
    total += t;
  }
  std::sort(timed.begin(), timed.end());
  double sum = 0;
  for (const auto& [bpm, t] : timed) {
    if ((sum += t) > share * total) return bpm;
  }
  return timed.back().first;
}

// Beats around `bpm` with some rubato, and `spikes` beats of a stray tempo.
std::vector<TempoStep> Performance(std::mt19937& rng, int beats, double bpm, int spikes, double stray) {
  std::uniform_real_distribution<double> rubato(0.9, 1.1);
  std::vector<TempoStep> steps;
  double t = 0;
  for (int k = 0; k < beats; ++k) {
    const bool spike = k % (beats / (spikes + 1)) == beats / (spikes + 1) / 2 && spikes > 0 && k > 0;
    steps.push_back({t, spike ? stray : bpm * rubato(rng)});
    t += 60 / steps.back().bpm;
  }
  return steps;
}

TEST(TempoRange, CoversWhatIsPlayedAndClipsOnlyStrayTempos) {
  std::mt19937 rng(11);
  const double kBin = std::pow(1e6, 1.0 / 4096);  // wider than any histogram bin here
  for (int beats : {40, 300, 5000}) {
    for (int spikes : {0, 1, 3}) {
      for (double stray : {608.0, 230.0, 31.0, 2e5}) {
        const std::vector<TempoStep> steps = Performance(rng, beats, 100, spikes, stray);
        const double end = steps.back().start + 0.6;
        const TempoRange r = PlayedTempos(steps, end);
        const double floor = Percentile(steps, end, 0.02) / 1.5, ceiling = Percentile(steps, end, 0.98) * 1.5;
        bool anyFar = false, anyNear = false;
        for (const TempoStep& s : steps) {
          const bool inside = s.bpm >= floor && s.bpm <= ceiling;
          const bool far = s.bpm < floor / kBin || s.bpm > ceiling * kBin;
          const bool shown = s.bpm >= r.lo && s.bpm <= r.hi;
          EXPECT_TRUE(shown || !inside) << beats << " " << spikes << " " << s.bpm;
          EXPECT_FALSE(shown && far) << beats << " " << spikes << " " << s.bpm;
          anyFar = anyFar || far;
          anyNear = anyNear || (!inside && !far);
        }
        EXPECT_TRUE(anyNear || r.Clips() == anyFar) << beats << " " << stray;
        // Fast stray beats under 2% of the time are outliers.
        double strayTime = 0;
        for (const TempoStep& s : steps) strayTime += s.bpm == stray ? 60 / stray : 0;
        EXPECT_TRUE(strayTime == 0 || stray < 200 || strayTime > 0.02 * end || r.Clips()) << beats << " " << stray;
        EXPECT_EQ(r.highest, std::max_element(steps.begin(), steps.end(), [](auto& a, auto& b) {
                               return a.bpm < b.bpm;
                             })->bpm);
      }
    }
  }
}

// Maps of a few sections within half as much again of one another keep
// every tempo on the axis, however short a section.
TEST(TempoRange, FewSectionsKeepTheirWholeRange) {
  const std::vector<std::vector<TempoStep>> maps = {
      {{0, 120}},
      {{0, 96}, {20, 84}, {37, 100}},
      {{0, 120}, {0.01, 90}, {60, 120}},
      {{0, 60}, {100, 89.9}, {100.5, 60}},
      {{0, 1e-90}, {1, 1e-90}},
  };
  for (const auto& steps : maps) {
    const TempoRange r = PlayedTempos(steps, steps.back().start + 10);
    const auto [low, high] = std::minmax_element(steps.begin(), steps.end(),
                                                 [](auto& a, auto& b) { return a.bpm < b.bpm; });
    EXPECT_EQ(r.lo, low->bpm);
    EXPECT_EQ(r.hi, high->bpm);
    EXPECT_FALSE(r.Clips());
  }
  EXPECT_EQ(PlayedTempos({}, 0).Clips(), false);
}

}  // namespace
}  // namespace beatmarks
