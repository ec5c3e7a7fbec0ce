#include "console/end_program.h"

#include <cstdio>
#include <cstdlib>

#include "terminal/output.h"

namespace beatmarks {
namespace {

EndProgramHandler g_handler = nullptr;

}  // namespace

void EndProgram(int status) {
  FlushOutput();
  if (g_handler != nullptr) g_handler(status);
  std::exit(FinishOutput(status));
}

void SetEndProgramHandler(EndProgramHandler handler) { g_handler = handler; }

}  // namespace beatmarks
