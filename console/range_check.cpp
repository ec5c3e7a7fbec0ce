#include "console/range_check.h"

namespace beatmarks {

void CheckRange(bool mapLoaded, std::int64_t& totalBeats, std::int32_t beatsPerMeasure,
                std::int32_t& startMeasure, std::int32_t& stopMeasure) {
  if (!mapLoaded) {
    // 32-bit wrapping arithmetic, as the count has always been made.
    std::uint32_t span = static_cast<std::uint32_t>(stopMeasure) + 1u -
                         static_cast<std::uint32_t>(startMeasure);
    totalBeats = static_cast<std::int32_t>(span * static_cast<std::uint32_t>(beatsPerMeasure));
  }
  if (totalBeats <= 0) {
    startMeasure = 0;
    stopMeasure = 0;
  }
}

}  // namespace beatmarks
