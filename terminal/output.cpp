#include "terminal/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace beatmarks {
namespace {

std::FILE* g_replacement = nullptr;
int g_writeError = 0;  // errno of the first failed write to standard output

void Remember(bool ok) {
  if (!ok && g_writeError == 0) g_writeError = errno ? errno : EIO;
}

// Only standard output counts; a replacement stream belongs to its owner.
void Check(bool ok) {
  if (TerminalOutput() == stdout) Remember(ok);
}

}  // namespace

std::FILE* TerminalOutput() { return g_replacement ? g_replacement : stdout; }

void SetTerminalOutput(std::FILE* out) { g_replacement = out; }

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  errno = 0;
  Check(std::vfprintf(TerminalOutput(), format, args) >= 0);
  va_end(args);
}

void PrintLine(std::string_view line) {
  PrintText(line);
  errno = 0;
  Check(std::fputc('\n', TerminalOutput()) != EOF);
}

void PrintText(std::string_view text) {
  errno = 0;
  Check(std::fwrite(text.data(), 1, text.size(), TerminalOutput()) == text.size());
}

void FlushOutput() {
  errno = 0;
  Check(std::fflush(TerminalOutput()) == 0);
}

int FinishOutput(int status) {
  FlushOutput();
  errno = 0;
  Remember(std::fflush(stdout) == 0 && !std::ferror(stdout));
  if (g_writeError == 0 || g_writeError == EPIPE) return status;
  std::fprintf(stderr, "beatmarks: write error: %s\n", std::strerror(g_writeError));
  return 1;
}

}  // namespace beatmarks
