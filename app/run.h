#pragma once

#include "app/options.h"
#include "core/map_file.h"
#include "core/program_state.h"

namespace beatmarks {

// A run given options (or '-' as OUTPUT, or a MIDI map): its input read once
// (MAP, unless `loaded` holds it already) into a plan, then the one output
// chosen written from it. Returns the exit status.
int RunWithOptions(const Options& options, const LoadedMap* loaded, ProgramState& state);

}  // namespace beatmarks
