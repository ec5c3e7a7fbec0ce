#include "terminal/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <utility>

namespace beatmarks {
namespace {

std::FILE* g_replacement = nullptr;
int g_writeError = 0;  // errno of the first failed write to standard output
MessageFilter g_filter;
std::string g_pending;  // the start of a line not yet ended, with a filter

void Remember(bool ok) {
  if (!ok && g_writeError == 0) g_writeError = errno ? errno : EIO;
}

// Only standard output counts; a replacement stream belongs to its owner.
void Check(bool ok) {
  if (TerminalOutput() == stdout) Remember(ok);
}

void Write(std::string_view text) {
  errno = 0;
  Check(std::fwrite(text.data(), 1, text.size(), TerminalOutput()) == text.size());
}

void WriteFiltered(std::string_view line) {
  std::optional<std::string> shown = g_filter(line);
  if (!shown) return;
  shown->push_back('\n');
  Write(*shown);
}

// The text as the filter has it: every line that ends, at once.
void Filter(std::string_view text) {
  for (std::size_t end; (end = text.find('\n')) != std::string_view::npos; text.remove_prefix(end + 1)) {
    g_pending.append(text.substr(0, end));
    WriteFiltered(g_pending);
    g_pending.clear();
  }
  g_pending.append(text);
}

}  // namespace

void SetMessageFilter(MessageFilter filter) {
  if (!g_pending.empty() && g_filter) WriteFiltered(g_pending);
  g_pending.clear();
  g_filter = std::move(filter);
}

std::FILE* TerminalOutput() { return g_replacement ? g_replacement : stdout; }

void SetTerminalOutput(std::FILE* out) { g_replacement = out; }

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (g_filter) {
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    Filter(text);
    return;
  }
  errno = 0;
  Check(std::vfprintf(TerminalOutput(), format, args) >= 0);
  va_end(args);
}

void PrintLine(std::string_view line) {
  PrintText(line);
  PrintText("\n");
}

void PrintText(std::string_view text) {
  if (g_filter) {
    Filter(text);
    return;
  }
  Write(text);
}

void FlushOutput() {
  errno = 0;
  Check(std::fflush(TerminalOutput()) == 0);
}

int FinishOutput(int status) {
  SetMessageFilter(nullptr);  // a line left without its end
  FlushOutput();
  errno = 0;
  Remember(std::fflush(stdout) == 0 && !std::ferror(stdout));
  if (g_writeError == 0 || g_writeError == EPIPE) return status;
  std::fprintf(stderr, "beatmarks: write error: %s\n", std::strerror(g_writeError));
  return 1;
}

}  // namespace beatmarks
