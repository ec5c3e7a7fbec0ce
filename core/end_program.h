#pragma once

namespace beatmarks {

// Flushes standard output and ends the process with the given status.
[[noreturn]] void EndProgram(int status);

}  // namespace beatmarks
