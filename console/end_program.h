#pragma once

namespace beatmarks {

// Ends the program with the given status after flushing its output. A
// harness that runs the program in-process may put its own ending in place;
// that ending must not return (it may throw).
[[noreturn]] void EndProgram(int status);

using EndProgramHandler = void (*)(int status);
void SetEndProgramHandler(EndProgramHandler handler);  // nullptr restores exit

}  // namespace beatmarks
