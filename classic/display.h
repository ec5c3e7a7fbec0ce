#pragma once

#include <cstdint>

#include "core/program_state.h"

namespace beatmarks {

inline constexpr const char* kCutWarning =
    "Warning: text longer than 65535 characters, list cut short";

// Builds the beat grid of the measures startMeasure..stopMeasure (0-based,
// inclusive) into outText: the sample-rate block, section headers, one line
// per division with its time from the start of the piece. textCut tells
// whether the text had to stop at its size limit. Without a map
// (sectionCount 0) measures[0] becomes stopMeasure + 1 (a stop held within
// 32 bits). A tempo, beat count or division count that cannot be walked is
// printed as an error line, no text is made, and false is returned: the
// caller ends the program (status 1).
bool Display(std::int32_t sectionCount, const TempoArray& tempo, CountArray& measures,
             const CountArray& beatsPerMeasure, std::int32_t sampleRate,
             std::int64_t startMeasure, std::int64_t stopMeasure, std::int32_t divisions,
             TextBuffer& outText, bool& textCut);

}  // namespace beatmarks
