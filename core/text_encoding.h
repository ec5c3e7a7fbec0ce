#pragma once

// Names and other text the map or the user gave, made safe for the formats
// that carry it: well-formed UTF-8 told apart from stray bytes, and JSON
// strings.

#include <cstddef>
#include <string>
#include <string_view>

namespace beatmarks {

// Length of the well-formed UTF-8 sequence at the start of `text` (not
// empty), 0 if there is none (a stray byte, an overlong form, a surrogate, a
// value past U+10FFFF, a sequence cut short); its code point in `code`.
std::size_t DecodeUtf8(std::string_view text, char32_t& code);

// Characters as a terminal shows them, one a code point of well-formed
// UTF-8 and one a stray byte: the width a column of names is padded to.
std::size_t CountCharacters(std::string_view text);

// `text` as a JSON string, quotes included: quotes, backslashes and control
// characters escaped, a byte that is not part of well-formed UTF-8 as U+FFFD.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace beatmarks
