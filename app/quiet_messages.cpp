#include "app/quiet_messages.h"

#include <string>

#include "terminal/output.h"

namespace beatmarks {

bool IsErrorMessage(std::string_view line) {
  constexpr std::string_view kFailures[] = {"Error: ", "Warning: text longer than"};
  for (std::string_view start : kFailures) {
    if (line.substr(0, start.size()) == start) return true;
  }
  return false;
}

void UseQuietMessages() {
  SetMessageFilter([](std::string_view line) { return IsErrorMessage(line) ? std::string(line) : std::string(); });
}

}  // namespace beatmarks
