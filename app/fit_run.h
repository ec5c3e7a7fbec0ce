#pragma once

#include "app/options.h"
#include "core/program_state.h"

namespace beatmarks {

// A run with --fit: MAP holds the beat times of a performance; the map fitted
// to them is written in the chosen format. Returns the exit status.
int FitRun(const Options& options, ProgramState& state);

}  // namespace beatmarks
