#pragma once

#include <cstddef>

#include "core/program_state.h"

namespace beatmarks {

// Builds the output text in the fixed buffer. The text never grows past
// M - 1 characters: the first fragment that does not fit ends it, and the text
// is cut back to the end of its last whole line so no partial line remains.
class TextBuilder {
 public:
  explicit TextBuilder(TextBuffer& text) : text_(text) {}

  // Starts the text with a block that always fits.
  void Start(const char* block, std::size_t length);
  void Append(const char* fragment, std::size_t length);
  // Formats into a scratch buffer, then appends.
  void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

  bool cut() const { return cut_; }
  std::size_t length() const { return length_; }

 private:
  void CutToLastLine();

  TextBuffer& text_;
  std::size_t length_ = 0;
  bool cut_ = false;
};

}  // namespace beatmarks
