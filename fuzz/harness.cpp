#include "harness.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "console/end_program.h"
#include "terminal/output.h"

namespace beatmarks::fuzz {

void SetUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  char folder[] = "/tmp/beatmarks-fuzz-XXXXXX";
  if (::mkdtemp(folder) == nullptr || ::chdir(folder) != 0) std::abort();
  SetTerminalOutput(std::fopen("/dev/null", "w"));
  // Lists written to "-" go straight to standard output: keep them quiet too.
  int quiet = ::open("/dev/null", O_WRONLY);
  if (quiet < 0 || ::dup2(quiet, STDOUT_FILENO) < 0) std::abort();
  ::close(quiet);
  SetEndProgramHandler([](int status) { throw ProgramEnded{status}; });
}

std::string KeepInFolder(std::string text) {
  for (char& c : text) {
    if (c == '/') c = '_';
  }
  return text;
}

void TidyFolder() {
  static unsigned runs = 0;
  if (++runs % 256 != 0) return;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(".", ignored)) {
    std::filesystem::remove_all(entry.path(), ignored);
  }
}

}  // namespace beatmarks::fuzz
