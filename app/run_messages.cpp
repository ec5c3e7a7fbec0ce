#include "app/run_messages.h"

#include <cctype>
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

std::string AboutFile(std::string_view name, std::string_view message) {
  if (message.substr(0, kError.size()) == kError) message.remove_prefix(kError.size());
  std::string reason(message);
  const std::size_t bang = reason.rfind('!');
  if (bang != std::string::npos && (bang + 1 == reason.size() || reason.compare(bang + 1, 2, " (") == 0)) {
    reason.erase(bang, 1);
  }
  const bool abbreviation = reason.size() > 1 && std::isupper(static_cast<unsigned char>(reason[1]));
  if (!reason.empty() && !abbreviation) {
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  }
  return std::string(kError).append(name).append(": ").append(reason);
}

namespace {
int guards = 0;  // RunMessages alive
}  // namespace

bool UnixMessages() { return guards > 0; }

RunMessages::RunMessages(bool quiet) {
  ++guards;
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
  --guards;
  SetMessageFilter(nullptr);
  FlushOutput();
  if (redirected_) SetTerminalOutput(nullptr);
}

}  // namespace beatmarks
