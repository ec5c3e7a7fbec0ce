#pragma once

#include "core/program_state.h"

namespace beatmarks {

inline constexpr const char* kNameTooLong = "Error: File name longer than 127 characters!";

// Prints the prompt as a line and reads a file name from the terminal input.
// The name is stored only when it fits; a name that is too long is reported.
// Returns whether a name was stored (false also at the end of input).
bool PromptForName(const char* prompt, NameBuffer& name);

// Copies a name given on the command line; false when it is too long.
bool CopyName(const char* source, NameBuffer& name);

}  // namespace beatmarks
