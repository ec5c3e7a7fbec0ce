#pragma once

#include <cstdint>

#include "core/program_state.h"

namespace beatmarks {

// Prints the one-letter commands with the current settings; measure numbers
// are shown 1-based.
void PrintCommandList(std::int32_t sampleRate, float tempo, std::int32_t beatsPerMeasure,
                      std::int32_t startMeasure, std::int32_t stopMeasure,
                      std::int32_t divisions, const NameBuffer& outFileName);

}  // namespace beatmarks
