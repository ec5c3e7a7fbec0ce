#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/program_state.h"

namespace beatmarks {

// Builds the output text in the fixed buffer, formatting each fragment
// straight into it. The text never grows past M - 1 characters: a fragment is
// kept whole or not at all, the first one that does not fit ends the text,
// and the text is cut back to the end of its last whole line so that no
// partial line remains.
class TextBuilder {
 public:
  explicit TextBuilder(TextBuffer& text) : text_(text) { Clear(); }

  void Clear();

  // Pieces of the fragment being built; EndFragment keeps it or ends the text.
  TextBuilder& PutText(std::string_view piece);
  TextBuilder& PutInteger(std::int64_t value);
  TextBuilder& PutFixed3(double value);  // as "%.3f" writes it
  void EndFragment();
  // A fragment of a single piece of text.
  void Append(std::string_view fragment) { PutText(fragment).EndFragment(); }

  bool cut() const { return cut_; }
  std::size_t length() const { return length_; }

 private:
  char* Limit() { return text_.data() + (M - 1); }
  bool PutFixed3Fast(double value);
  // Keeps a conversion written at the cursor, or marks the fragment too long.
  TextBuilder& Converted(std::to_chars_result result);
  void CutToLastLine();

  TextBuffer& text_;
  std::size_t length_ = 0;
  char* cursor_ = nullptr;  // end of the fragment being built
  bool overflow_ = false;   // the fragment being built does not fit
  bool cut_ = false;
};

}  // namespace beatmarks
