#include "core/text_builder.h"

#include <charconv>
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

TextBuilder& TextBuilder::PutInteger(std::int64_t value) {
  if (cut_ || overflow_) return *this;
  std::to_chars_result r = std::to_chars(cursor_, Limit(), value);
  if (r.ec != std::errc()) {
    overflow_ = true;
  } else {
    cursor_ = r.ptr;
  }
  return *this;
}

TextBuilder& TextBuilder::PutFixed3(double value) {
  if (cut_ || overflow_) return *this;
  std::to_chars_result r = std::to_chars(cursor_, Limit(), value, std::chars_format::fixed, 3);
  if (r.ec != std::errc()) {
    overflow_ = true;
  } else {
    cursor_ = r.ptr;
  }
  return *this;
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
