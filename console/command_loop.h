#pragma once

#include "core/program_state.h"

namespace beatmarks {

// The interactive menu: shows the command list (while it is on), reads one
// command word at a time and carries it out, until 'q' or the end of input.
void CommandLoop(ProgramState& state);

}  // namespace beatmarks
