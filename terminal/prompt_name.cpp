#include "terminal/prompt_name.h"

#include <cstring>

#include "terminal/input.h"
#include "terminal/output.h"

namespace beatmarks {

bool PromptForName(const char* prompt, NameBuffer& name) {
  PrintLine(prompt);
  NameBuffer typed{};
  switch (ReadWord(TerminalInput(), typed)) {
    case WordStatus::kRead:
      name = typed;
      return true;
    case WordStatus::kTooLong:
      PrintLine(kNameTooLong);
      return false;
    case WordStatus::kEnded:
      break;
  }
  return false;
}

bool CopyName(const char* source, NameBuffer& name) {
  std::size_t length = std::strlen(source);
  if (length >= name.size()) return false;
  std::memcpy(name.data(), source, length + 1);
  return true;
}

}  // namespace beatmarks
