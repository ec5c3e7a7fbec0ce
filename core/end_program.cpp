#include "core/end_program.h"

#include <cstdio>
#include <cstdlib>

namespace beatmarks {

void EndProgram(int status) {
  std::fflush(stdout);
  std::exit(status);
}

}  // namespace beatmarks
