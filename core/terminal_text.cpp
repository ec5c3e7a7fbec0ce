#include "core/terminal_text.h"

#include <algorithm>
#include <iterator>

#include "core/text_encoding.h"

namespace beatmarks {
namespace {

struct CodeRange {
  char32_t first, last;
};

#include "core/terminal_widths.inc"

template <std::size_t N>
bool InRanges(const CodeRange (&ranges)[N], char32_t code) {
  const CodeRange* after = std::upper_bound(std::begin(ranges), std::end(ranges), code,
                                            [](char32_t c, const CodeRange& r) { return c < r.first; });
  return after != std::begin(ranges) && code <= std::prev(after)->last;
}

bool IsControl(char32_t code) { return code < 0x20 || (code >= 0x7F && code < 0xA0); }

}  // namespace

int CodeWidth(char32_t code) {
  if (code < 0x300) return 1;  // ASCII and Latin-1: the common case, at once
  if (InRanges(kZeroWidth, code)) return 0;
  return InRanges(kDoubleWidth, code) ? 2 : 1;
}

std::size_t TerminalWidth(std::string_view text) {
  std::size_t columns = 0;
  for (char32_t code = 0; !text.empty();) {
    const std::size_t length = DecodeUtf8(text, code);
    columns += length == 0 ? 1 : static_cast<std::size_t>(CodeWidth(code));
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return columns;
}

std::string TerminalText(std::string_view text, std::string_view replacement) {
  std::string shown;
  shown.reserve(text.size());
  for (char32_t code = 0; !text.empty();) {
    const std::size_t length = DecodeUtf8(text, code);
    if (length == 0 || IsControl(code)) {
      shown += replacement;
    } else {
      shown += text.substr(0, length);
    }
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return shown;
}

}  // namespace beatmarks
