#pragma once

// An attack's first sample: where the sound starts to rise out of what was
// sounding before. The detector's hop only says roughly where; the split
// between a quieter stretch before and a louder one after that the two
// stretches explain best (the most likely change of power, as seismic
// pickers place a first arrival) puts it on a sample, whatever the
// detector's window.

#include <cstdint>

#include "listen/onset_curve.h"

namespace beatmarks {

class FirstSample {
 public:
  explicit FirstSample(std::uint32_t rate);

  // Samples needed before and after the rough position.
  std::int64_t ContextBefore() const { return before_ + 1; }
  std::int64_t ContextAfter() const { return after_; }

  // The first sample of the attack found near frame `rough` in `view`;
  // `mono` holds frames [origin, origin + size) and must reach the context
  // either side.
  std::int64_t Find(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t rough,
                    OnsetView view) const;

 private:
  std::int64_t before_;
  std::int64_t after_;
};

}  // namespace beatmarks
