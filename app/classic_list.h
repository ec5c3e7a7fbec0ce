#pragma once

#include <string>

#include "app/run_settings.h"
#include "core/program_state.h"

namespace beatmarks {

// The classic list of the state's map over `range`, appended to OUTPUT or
// written to standard output ("-"). A run with options (`withReason`) writes
// it the way every other output is written, and a failed write says why. Returns the exit status.
int ClassicList(const std::string& output, const MeasureRange& range, ProgramState& state,
                bool withReason);

}  // namespace beatmarks
