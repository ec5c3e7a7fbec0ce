#include "classic/write_data.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "files/output_file.h"
#include "terminal/output.h"
#include "terminal/prompt_name.h"

namespace beatmarks {

bool WriteData(const TextBuffer& text, NameBuffer& outFileName, bool batch, bool replace) {
  errno = 0;
  if ((!batch || outFileName[0] == '\0') &&
      !PromptForName("Enter file to write data to", outFileName)) {
    return false;
  }
  // What was printed before comes first, even when the file is the terminal.
  FlushOutput();
  std::size_t length = ::strnlen(text.data(), text.size());
  std::string_view content(text.data(), length);
  int error = 0;
  if (!WriteWholeFile(outFileName.data(), replace ? WriteMode::kReplace : WriteMode::kAppend,
                      content, error)) {
    Print("Error: Could not write file %s!\n", outFileName.data());
    errno = error;  // the cause, for callers that say why
    return false;
  }
  Print("Saved %i bytes\n", static_cast<int>(length));
  return true;
}

}  // namespace beatmarks
