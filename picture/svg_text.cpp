#include "picture/svg_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

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

// Length of the well-formed UTF-8 sequence at the start of text, 0 if there is
// none; its code point in `code`.
std::size_t DecodeUtf8(std::string_view text, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  if (lead < 0xC2 || lead > 0xF4 || text.size() < length) return 0;
  // The second byte's range rules out overlong forms, surrogates and values past U+10FFFF.
  unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (byte(1) < low || byte(1) > high) return 0;
  code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3F);
  }
  return length;
}

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
