#include "core/output.h"

#include <cstdarg>

namespace beatmarks {
namespace {

std::FILE* g_replacement = nullptr;

}  // namespace

std::FILE* TerminalOutput() { return g_replacement ? g_replacement : stdout; }

void SetTerminalOutput(std::FILE* out) { g_replacement = out; }

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(TerminalOutput(), format, args);
  va_end(args);
}

void PrintLine(std::string_view line) {
  PrintText(line);
  std::fputc('\n', TerminalOutput());
}

void PrintText(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), TerminalOutput());
}

}  // namespace beatmarks
