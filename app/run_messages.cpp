#include "app/run_messages.h"

#include <cstddef>
#include <cstdio>
#include <optional>

#include "terminal/output.h"

namespace beatmarks {
namespace {

constexpr std::string_view kError = "Error: ";

// Where " line N: " names the line at fault: the position of its space, and
// the end of the ": "; npos if the text has none.
std::size_t FindLineMark(std::string_view text, std::size_t& digitsStart, std::size_t& end) {
  constexpr std::string_view kLine = " line ";
  for (std::size_t at = text.find(kLine); at != std::string_view::npos; at = text.find(kLine, at + 1)) {
    std::size_t i = at + kLine.size();
    const std::size_t first = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i > first && text.substr(i, 2) == ": ") {
      digitsStart = first;
      end = i + 2;
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace

bool IsErrorMessage(std::string_view line) {
  constexpr std::string_view kFailures[] = {kError, "Warning: text longer than"};
  for (std::string_view start : kFailures) {
    if (line.substr(0, start.size()) == start) return true;
  }
  return false;
}

std::string InUnixForm(std::string_view line) {
  if (line.substr(0, kError.size()) != kError) return std::string(line);
  std::string_view rest = line.substr(kError.size());
  std::string form = "beatmarks: ";
  std::size_t digits = 0;
  std::size_t end = 0;
  const std::size_t mark = FindLineMark(rest, digits, end);
  if (mark == std::string_view::npos) return form.append(rest);
  form.append(rest.substr(0, mark)).append(":").append(rest.substr(digits, end - 2 - digits));
  return form.append(": ").append(rest.substr(end));
}

RunMessages::RunMessages(bool quiet) {
  if (TerminalOutput() == stdout) {
    SetTerminalOutput(stderr);
    redirected_ = true;
  }
  SetMessageFilter([quiet](std::string_view line) -> std::optional<std::string> {
    if (quiet && !IsErrorMessage(line)) return std::nullopt;
    return InUnixForm(line);
  });
}

RunMessages::~RunMessages() {
  SetMessageFilter(nullptr);
  FlushOutput();
  if (redirected_) SetTerminalOutput(nullptr);
}

}  // namespace beatmarks
