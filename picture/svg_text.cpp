#include "picture/svg_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/text_encoding.h"

namespace beatmarks {

void AppendCoordinate(std::string& out, double value) {
  if (std::isnan(value)) value = 0;
  value = std::round(std::clamp(value, -1e5, 1e5) * 10) / 10;
  if (value == 0) value = 0;  // no "-0"
  char digits[16];
  auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 1);
  std::string_view text(digits, static_cast<std::size_t>(result.ptr - digits));
  if (text.ends_with(".0")) text.remove_suffix(2);
  out += text;
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool XmlCanHold(char32_t code) {
  return code >= 0x20 && code != 0x7F && code != 0xFFFE && code != 0xFFFF;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void AppendCharacter(std::string& out, char32_t code) {
  switch (code) {
    case '&': out += "&amp;"; return;
    case '<': out += "&lt;"; return;
    case '>': out += "&gt;"; return;
    case '"': out += "&quot;"; return;
    case '\'': out += "&apos;"; return;
    default: AppendUtf8(out, XmlCanHold(code) ? code : kReplacement);
  }
}

}  // namespace

XmlText EscapeXml(std::string_view text, std::size_t mostCharacters) {
  XmlText result;
  while (!text.empty()) {
    if (result.characters == mostCharacters) {
      AppendUtf8(result.escaped, U'\u2026');
      ++result.characters;
      break;
    }
    char32_t code = kReplacement;
    std::size_t length = DecodeUtf8(text, code);
    AppendCharacter(result.escaped, length > 0 ? code : kReplacement);
    text.remove_prefix(std::max<std::size_t>(length, 1));
    ++result.characters;
  }
  return result;
}

}  // namespace beatmarks
