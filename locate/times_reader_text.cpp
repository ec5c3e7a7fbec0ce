#include "locate/times_reader.h"

// The texts of TIMES as messages show them, and times read exactly.
#include <algorithm>

#include "core/terminal_text.h"

namespace beatmarks {

std::string_view TrimBlanks(std::string_view text, bool tabs) {
  auto blank = [tabs](char c) { return c == ' ' || (tabs && c == '\t'); };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string ShownText(std::string_view text) {
  constexpr std::size_t kLongest = 40;
  std::size_t cut = std::min(text.size(), kLongest);
  // Not inside a character: back to where the one the cut falls in begins.
  const auto inside = [&] { return cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; };
  for (int back = 0; back < 3 && cut > 0 && inside(); ++back) --cut;
  std::string shown = TerminalText(text.substr(0, cut), "?");
  if (cut < text.size()) shown += "...";
  return shown;
}

bool IsTimeText(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  bool digit = false, point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

Rational ExactTimeOf(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  Rational value = Rational::FromDecimal(text).value_or(Rational());
  return negative ? -value : value;
}

std::string ShownFileName(const std::string& argument) {
  return argument == "-" ? "standard input" : TerminalText(argument, "?");
}

}  // namespace beatmarks
