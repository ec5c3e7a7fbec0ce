// Any text typed at the command loop.
#include <string>

#include "console/command_loop.h"
#include "harness.h"
#include "terminal/input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace beatmarks;
  fuzz::SetUpOnce();
  fuzz::TidyFolder();
  Input typed(fuzz::KeepInFolder(std::string(reinterpret_cast<const char*>(data), size)));
  SetTerminalInput(&typed);
  static ProgramState s;
  s = ProgramState();
  try {
    CommandLoop(s);
  } catch (const fuzz::ProgramEnded&) {
  }
  SetTerminalInput(nullptr);
  return 0;
}
