#include "formats/text_builder.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace beatmarks {

void TextBuilder::Clear() {
  length_ = 0;
  text_[0] = '\0';
  cursor_ = text_.data();
  overflow_ = false;
  cut_ = false;
}

TextBuilder& TextBuilder::PutText(std::string_view piece) {
  if (cut_ || overflow_) return *this;
  if (piece.size() > static_cast<std::size_t>(Limit() - cursor_)) {
    overflow_ = true;
    return *this;
  }
  std::memcpy(cursor_, piece.data(), piece.size());
  cursor_ += piece.size();
  return *this;
}

TextBuilder& TextBuilder::Converted(std::to_chars_result result) {
  if (result.ec != std::errc()) {
    overflow_ = true;
  } else {
    cursor_ = result.ptr;
  }
  return *this;
}

TextBuilder& TextBuilder::PutInteger(std::int64_t value) {
  if (cut_ || overflow_) return *this;
  return Converted(std::to_chars(cursor_, Limit(), value));
}

// Times below 2^32 s are written from their count of milliseconds when the
// product with 1000 lies clearly off a half-way point: its rounding error
// (below 2^-10 there) cannot then change the nearest integer, which is what
// "%.3f" shows. Other values go through the exact conversion.
bool TextBuilder::PutFixed3Fast(double value) {
  if (!(value >= 0.0 && value < 4294967296.0) || std::signbit(value)) return false;
  const double scaled = value * 1000.0;
  const double whole = std::floor(scaled);
  const double fraction = scaled - whole;
  if (std::fabs(fraction - 0.5) <= 0x1p-9) return false;
  const auto millis = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
  char digits[3] = {static_cast<char>('0' + millis / 100 % 10),
                    static_cast<char>('0' + millis / 10 % 10),
                    static_cast<char>('0' + millis % 10)};
  PutInteger(static_cast<std::int64_t>(millis / 1000));
  PutText(".").PutText(std::string_view(digits, 3));
  return true;
}

TextBuilder& TextBuilder::PutFixed3(double value) {
  if (cut_ || overflow_ || PutFixed3Fast(value)) return *this;
  return Converted(std::to_chars(cursor_, Limit(), value, std::chars_format::fixed, 3));
}

void TextBuilder::EndFragment() {
  if (cut_) return;
  if (overflow_) {
    cut_ = true;
    CutToLastLine();
    return;
  }
  length_ = static_cast<std::size_t>(cursor_ - text_.data());
  text_[length_] = '\0';
}

void TextBuilder::CutToLastLine() {
  while (length_ > 0 && text_[length_ - 1] != '\n') --length_;
  text_[length_] = '\0';
  cursor_ = text_.data() + length_;
}

}  // namespace beatmarks
