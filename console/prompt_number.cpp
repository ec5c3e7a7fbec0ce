#include "console/prompt_number.h"

#include "core/number_scan.h"
#include "terminal/input.h"
#include "terminal/output.h"

namespace beatmarks {

std::optional<std::int32_t> PromptForInteger(const char* prompt) {
  PrintText(prompt);
  return ScanInteger(TerminalInput(), IntegerForm::kPrefixed);
}

std::optional<float> PromptForDecimal(const char* prompt) {
  PrintText(prompt);
  std::optional<std::string> canonical = ScanDecimal(TerminalInput());
  if (!canonical) return std::nullopt;
  return DecimalToFloat(*canonical);
}

}  // namespace beatmarks
