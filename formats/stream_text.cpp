#include "formats/stream_text.h"

#include <charconv>

namespace beatmarks {

void AppendInteger(std::string& text, std::int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

StreamText& StreamText::PutText(std::string_view piece) {
  out_.Put(piece);
  return *this;
}

StreamText& StreamText::PutInteger(std::int64_t value) {
  AppendInteger(out_.text(), value);
  return *this;
}

StreamText& StreamText::PutFixed3(double value) {
  char digits[400];  // the longest double in fixed notation with 3 decimals fits
  auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 3);
  out_.Put(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
  return *this;
}

}  // namespace beatmarks
