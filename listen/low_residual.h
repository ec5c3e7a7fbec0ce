#pragma once

// What is new in the low band: the mean of each hop (a signal at about
// 2 kHz, where a bass or a held note changes enough from one value to the
// next to be predicted) less its prediction from the values before it, by a
// predictor fitted afresh every millisecond on the stretch just before (tapered
// autocorrelation, Levinson's recursion). Held notes leave little; an attack
// of any pitch leaves its level.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace beatmarks {

class LowResidual {
 public:
  // Values before a hop that its prediction uses.
  static std::size_t History();

  // residual[i] for i in [History(), means.size()) from `means`, whose
  // first value is the mean of hop `firstHop` of the file; the first
  // History() entries are 0.
  void Compute(const std::vector<double>& means, std::int64_t firstHop, std::vector<double>& residual);

 private:
  std::vector<double> taper_;
};

}  // namespace beatmarks
