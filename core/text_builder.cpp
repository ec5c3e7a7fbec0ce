#include "core/text_builder.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace beatmarks {
namespace {

// Room for the longest fragment: a time column of a running time near the
// largest the walk can reach (under 10^80 seconds) still fits many times over.
constexpr std::size_t kScratchSize = 512;
constexpr std::size_t kMaxLength = M - 1;

}  // namespace

void TextBuilder::Start(const char* block, std::size_t length) {
  std::memcpy(text_.data(), block, length);
  length_ = length;
  text_[length_] = '\0';
  cut_ = false;
}

void TextBuilder::Append(const char* fragment, std::size_t length) {
  if (cut_) return;
  if (length > kMaxLength - length_) {
    cut_ = true;
    CutToLastLine();
    return;
  }
  std::memcpy(text_.data() + length_, fragment, length);
  length_ += length;
  text_[length_] = '\0';
}

void TextBuilder::AppendFormat(const char* format, ...) {
  char scratch[kScratchSize];
  va_list args;
  va_start(args, format);
  int written = std::vsnprintf(scratch, sizeof scratch, format, args);
  va_end(args);
  if (written < 0 || static_cast<std::size_t>(written) >= sizeof scratch) {
    // Cannot happen for the program's fragments; never append a cut one.
    Append(scratch, kMaxLength + 1);
    return;
  }
  Append(scratch, static_cast<std::size_t>(written));
}

void TextBuilder::CutToLastLine() {
  while (length_ > 0 && text_[length_ - 1] != '\n') --length_;
  text_[length_] = '\0';
}

}  // namespace beatmarks
