#include "app/run_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/run_messages.h"
#include "terminal/output.h"

namespace beatmarks {

int UsageError(const std::string& message) {
  FlushOutput();  // the messages so far come first
  std::fprintf(stderr, "beatmarks: %s\nTry 'beatmarks --help'.\n", message.c_str());
  return 2;
}

int Saved(std::uint64_t bytes) {
  Print("Saved %llu bytes\n", static_cast<unsigned long long>(bytes));
  return 0;
}

int CouldNotWrite(const std::string& name, int error, bool why) {
  FlushOutput();  // the messages so far come first
  if (name == "-") {
    std::fprintf(stderr, "beatmarks: write error: %s\n", std::strerror(error != 0 ? error : EIO));
    return 1;
  }
  if (UnixMessages()) {
    Print("Error: %s: %s\n", name.c_str(), error != 0 ? std::strerror(error) : "could not write it");
    return 1;
  }
  Print("Error: Could not write file %s!\n", name.c_str());
  if (why) SayWhy(name, error);
  return 1;
}

void SayWhy(const std::string& name, int error) {
  if (error == 0) return;
  FlushOutput();
  std::fprintf(stderr, "beatmarks: %s: %s\n", name.c_str(), std::strerror(error));
}

}  // namespace beatmarks
