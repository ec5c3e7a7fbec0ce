#pragma once

// Text the map or the user gave, shown on a terminal (the summary, the
// messages): nothing in it may act on the terminal, and columns of it line
// up as the terminal draws them. Needs no locale: the widths come from a
// table of Unicode ranges.

#include <cstddef>
#include <string>
#include <string_view>

namespace beatmarks {

// Columns a terminal gives one code point, as wcwidth does: 2 for wide and
// full-width East Asian characters and emoji, 0 for combining marks and
// zero-width characters, 1 for the rest (a control is never shown).
int CodeWidth(char32_t code);

// Columns of the text: each code point of well-formed UTF-8 its width, a
// stray byte one.
std::size_t TerminalWidth(std::string_view text);

// The text with each control character (C0, DEL, C1: an escape sequence
// starts with one) and each byte that is not part of well-formed UTF-8
// replaced by `replacement`; all else kept.
std::string TerminalText(std::string_view text, std::string_view replacement);

}  // namespace beatmarks
