#pragma once

#include <cstdint>

namespace beatmarks {

// Before the list is made: without a map the beats of the range are counted
// from the first section's beats per measure; when no beat is counted (an
// empty or inverted range, or a map whose last read counted none) the range
// falls back to measure 1 alone.
void CheckRange(bool mapLoaded, std::int64_t& totalBeats, std::int32_t beatsPerMeasure,
                std::int32_t& startMeasure, std::int32_t& stopMeasure);

}  // namespace beatmarks
