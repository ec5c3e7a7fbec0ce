#include "console/prompt_number.h"

#include <cstdio>

#include "core/input.h"
#include "core/number_scan.h"

namespace beatmarks {

std::optional<std::int32_t> PromptForInteger(const char* prompt) {
  std::fputs(prompt, stdout);
  return ScanInteger(TerminalInput(), IntegerForm::kPrefixed);
}

std::optional<float> PromptForDecimal(const char* prompt) {
  std::fputs(prompt, stdout);
  std::optional<std::string> canonical = ScanDecimal(TerminalInput());
  if (!canonical) return std::nullopt;
  return DecimalToFloat(*canonical);
}

}  // namespace beatmarks
