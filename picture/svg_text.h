#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace beatmarks {

// Appends a picture coordinate with at most one decimal ("12.5", "3"), never
// in the locale's form; values past +-100000 (and NaN, as 0) are clamped so
// that the picture holds no absurd numbers.
void AppendCoordinate(std::string& out, double value);

// Text made safe for XML content and attribute values.
struct XmlText {
  std::string escaped;
  std::size_t characters = 0;  // shown, for width estimates
};

// Escapes & < > " ' as references. Control characters, malformed UTF-8 and
// code points XML cannot hold become U+FFFD; text past mostCharacters is cut
// and ends in an ellipsis (counted).
XmlText EscapeXml(std::string_view text, std::size_t mostCharacters);

}  // namespace beatmarks
