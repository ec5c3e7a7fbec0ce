#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/options.h"
#include "core/program_state.h"

namespace beatmarks {

// The number the options give the map's first measure, else `fallback`
// (1, or what a fit's positions number it).
std::int64_t FirstMeasureNumber(const Options& options, std::int64_t fallback = 1);

// RATE, START, STOP and DIVISIONS as the command line has always read them
// (the sixth counts only when it is the last), over what the map file set.
void ApplyPositionalSettings(const std::vector<std::string>& positional, ProgramState& state);

// The positional settings, then the named ones over them; START and STOP
// count from `firstNumber`, the number the run gives the first measure.
void ApplyRunSettings(const Options& options, std::int64_t firstNumber, ProgramState& state);

}  // namespace beatmarks
