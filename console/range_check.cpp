#include "console/range_check.h"

namespace beatmarks {

void CheckRange(bool mapLoaded, std::int64_t& totalBeats, std::int32_t beatsPerMeasure,
                std::int32_t& startMeasure, std::int32_t& stopMeasure) {
  if (!mapLoaded) {
    // Exact: at most 2^32 measures of fewer than 2^31 beats fit in 64 bits.
    std::int64_t span = std::int64_t{stopMeasure} + 1 - startMeasure;
    totalBeats = span * beatsPerMeasure;
  }
  if (totalBeats <= 0) {
    startMeasure = 0;
    stopMeasure = 0;
  }
}

}  // namespace beatmarks
