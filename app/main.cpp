#include "app/entry.h"
#include "core/program_state.h"
#include "terminal/output.h"

int main(int argc, char** argv) {
  static beatmarks::ProgramState state;  // the program's one state, for the whole run
  int count = argc > 0 ? argc - 1 : 0;
  int status = beatmarks::RunProgram(count, argc > 0 ? argv + 1 : argv, state);
  return beatmarks::FinishOutput(status);
}
