#pragma once

// Where attacks are, to within a hop: the rise of short-time energy over what
// was sounding just before, in two views of the signal. What is new in the
// low band (listen/low_residual.h) shows low attacks (a kick) over a held
// bass; the second difference, which holds back low notes by tens of dB
// and a piano's decayed partials too, shows struck and plucked attacks under
// ringing notes. Hops lie on
// a grid from frame 0, and every value at a hop depends only on the samples
// around it, so a stretch analysed alone gives what the whole file would.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "listen/low_residual.h"

namespace beatmarks {

enum class OnsetView : std::uint8_t { kLowResidual, kDifference };

struct OnsetPeak {
  std::int64_t frame = 0;  // start of the hop where the rise is largest
  float strengthDb = 0;    // energy just after over energy just before
  float levelDb = 0;       // power of the 5 ms from the hop, in dB of full scale
  OnsetView view = OnsetView::kLowResidual;
};

class OnsetCurve {
 public:
  explicit OnsetCurve(std::uint32_t rate);

  std::int64_t Hop() const { return hop_; }
  // Samples needed before the first hop and after the last one examined.
  std::int64_t ContextBefore() const;
  std::int64_t ContextAfter() const;

  // Appends to `peaks` the rises of at least `floorDb` whose hop starts in
  // [from, to), in order; `mono` holds frames [origin, origin + size) and
  // must reach ContextBefore() before `from` and ContextAfter() past `to`
  // (silence outside the file is part of the signal).
  void Peaks(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t from,
             std::int64_t to, float floorDb, std::vector<OnsetPeak>& peaks);

 private:
  void Energies(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t e0, std::size_t hops);
  void Rises(int v, std::int64_t r0, std::size_t rises, std::int64_t e0);
  void PickPeaks(std::int64_t r0, std::size_t rises, std::int64_t e0, float floorDb,
                 std::vector<OnsetPeak>& peaks) const;
  float LevelAt(std::size_t k) const;

  std::int64_t hop_;
  std::int64_t before_;  // hops averaged before a hop
  std::int64_t after_[2];  // hops averaged from a hop on, a view
  std::int64_t reach_;   // hops either side a peak must top
  LowResidual low_;
  std::vector<double> means_, residual_;
  std::vector<double> sums_[2];
  std::vector<double> power_;  // running sums of the signal's power, a hop
  std::vector<double> rise_[2];  // power after over power before, a view
};

}  // namespace beatmarks
