#pragma once

#include <cstdint>
#include <optional>

namespace beatmarks {

// Print the prompt (given with its newline) and read the longest number that
// starts the next input item. Nothing is read, and nothing returned, when the
// item does not start with a number or the input has ended; the item then
// stays to be read as the next command word.

// An integer: decimal, 0x hexadecimal or leading-0 octal, with a sign;
// clamped to the 32-bit range.
std::optional<std::int32_t> PromptForInteger(const char* prompt);

// A decimal number rounded once to single precision.
std::optional<float> PromptForDecimal(const char* prompt);

}  // namespace beatmarks
