#pragma once

#include "core/program_state.h"

namespace beatmarks {

// Runs the program on its arguments (without the program's name) and returns
// the exit status: the command loop with fewer than two arguments, else one
// command-line run that appends the list to the output file.
int RunProgram(int argumentCount, const char* const* arguments, ProgramState& state);

}  // namespace beatmarks
