#include "core/write_data.h"

#include <cstdio>
#include <cstring>

#include "core/output.h"
#include "core/prompt_name.h"

namespace beatmarks {
namespace {

bool WriteWhole(const char* name, const char* mode, const char* data, std::size_t length) {
  std::FILE* file = std::fopen(name, mode);
  if (file == nullptr) return false;
  bool written = std::fwrite(data, 1, length, file) == length;
  bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace

bool WriteData(const TextBuffer& text, NameBuffer& outFileName, bool batch, bool replace) {
  if ((!batch || outFileName[0] == '\0') &&
      !PromptForName("Enter file to write data to", outFileName)) {
    return false;
  }
  // What was printed before comes first, even when the file is the terminal.
  std::fflush(TerminalOutput());
  std::size_t length = ::strnlen(text.data(), text.size());
  if (!WriteWhole(outFileName.data(), replace ? "w" : "a", text.data(), length)) {
    Print("Error: Could not write file %s!\n", outFileName.data());
    return false;
  }
  Print("Saved %i bytes\n", static_cast<int>(length));
  return true;
}

}  // namespace beatmarks
