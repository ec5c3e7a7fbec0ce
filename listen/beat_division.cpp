#include "listen/beat_division.h"

#include <algorithm>
#include <cmath>

namespace beatmarks {
namespace {

// How near a division an attack must lie, as a part of the beat.
constexpr double kNear = 0.06;

bool Near(double phase, double division) { return std::fabs(phase - division) < kNear; }

// Attacks halfway between the beats on at least this share of them, whose
// rise is within this of the beats' (the median), count the beat twice as
// fast as well as it: the tempo may be either. On the test performances a
// beat's rise stands out over the halfway attack's by 10 dB at least.
constexpr double kHalvesShare = 0.5;
constexpr double kHalvesAlikeDb = 3.0;

// The median of `values` (reordered), or `none` where there are none.
double Median(std::vector<float>& values, double none) {
  if (values.empty()) return none;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
  return values[values.size() / 2];
}

// The strongest attack within `tolerance` of `at` (by its rise), or none.
const Attack* StrongestNear(const std::vector<Attack>& attacks, double at, double tolerance) {
  auto a = std::lower_bound(attacks.begin(), attacks.end(), static_cast<std::int64_t>(std::ceil(at - tolerance)),
                            [](const Attack& x, std::int64_t s) { return x.sample < s; });
  const Attack* best = nullptr;
  for (; a != attacks.end() && static_cast<double>(a->sample) <= at + tolerance; ++a) {
    if (!best || a->strengthDb > best->strengthDb) best = &*a;
  }
  return best;
}

}  // namespace

bool DividedInThree(const std::vector<Attack>& attacks, const std::vector<std::int64_t>& beats) {
  std::size_t thirds = 0, others = 0;
  auto it = attacks.begin();
  for (std::size_t k = 0; k + 1 < beats.size(); ++k) {
    const double from = static_cast<double>(beats[k]), span = static_cast<double>(beats[k + 1] - beats[k]);
    it = std::lower_bound(it, attacks.end(), beats[k] + 1,
                          [](const Attack& a, std::int64_t at) { return a.sample < at; });
    for (auto a = it; a != attacks.end() && a->sample < beats[k + 1]; ++a) {
      const double phase = (static_cast<double>(a->sample) - from) / span;
      if (Near(phase, 1.0 / 3) || Near(phase, 2.0 / 3)) {
        ++thirds;
      } else if (Near(phase, 0.25) || Near(phase, 0.5) || Near(phase, 0.75)) {
        ++others;
      }
    }
  }
  return beats.size() > 1 && thirds >= (beats.size() - 1) / 2 && thirds > 2 * others;
}

double AlternationDb(const std::vector<Attack>& attacks, const std::vector<std::int64_t>& beats) {
  std::vector<float> levels[2];  // of the beats on attacks, by parity
  for (std::size_t k = 0; k < beats.size(); ++k) {
    const auto a = std::lower_bound(attacks.begin(), attacks.end(), beats[k],
                                    [](const Attack& x, std::int64_t s) { return x.sample < s; });
    if (a != attacks.end() && a->sample == beats[k]) levels[k % 2].push_back(a->levelDb);
  }
  if (levels[0].empty() || levels[1].empty()) return 0;
  return std::fabs(Median(levels[0], 0) - Median(levels[1], 0));
}

bool HalvesLikeBeats(const std::vector<Attack>& attacks, const std::vector<std::int64_t>& beats) {
  std::vector<float> below;  // each beat's rise over its halfway attack's
  std::size_t halves = 0;
  for (std::size_t k = 0; k + 1 < beats.size(); ++k) {
    const double at = static_cast<double>(beats[k]), span = static_cast<double>(beats[k + 1] - beats[k]);
    const Attack* half = StrongestNear(attacks, at + span / 2, span * kNear);
    if (!half) continue;
    ++halves;
    if (const Attack* beat = StrongestNear(attacks, at, span * kNear)) below.push_back(beat->strengthDb - half->strengthDb);
  }
  if (beats.size() < 2 || static_cast<double>(halves) < kHalvesShare * static_cast<double>(beats.size() - 1)) {
    return false;
  }
  return Median(below, kHalvesAlikeDb) < kHalvesAlikeDb;  // none: not alike
}

}  // namespace beatmarks
