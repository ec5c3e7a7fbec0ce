#include "listen/beat_division.h"

#include <algorithm>
#include <cmath>

namespace beatmarks {
namespace {

// How near a division an attack must lie, as a part of the beat.
constexpr double kNear = 0.06;

bool Near(double phase, double division) { return std::fabs(phase - division) < kNear; }

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

}  // namespace beatmarks
