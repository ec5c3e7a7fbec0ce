#pragma once

#include "core/program_state.h"

namespace beatmarks {

// Writes the output text to the file named in outFileName, replacing its
// content or appending to it, and reports the bytes saved. The name is asked
// for unless this is a batch run with a name already given. Returns whether
// the text was saved; when it was not, errno holds the cause (0 if unknown).
bool WriteData(const TextBuffer& text, NameBuffer& outFileName, bool batch, bool replace);

}  // namespace beatmarks
