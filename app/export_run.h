#pragma once

#include "app/options.h"
#include "core/program_state.h"

namespace beatmarks {

// A run given options (or '-' as OUTPUT): reads the map, applies the
// positional and then the named settings, and writes the chosen format.
// Returns the exit status.
int RunWithOptions(const Options& options, ProgramState& state);

}  // namespace beatmarks
