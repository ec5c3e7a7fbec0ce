#pragma once

#include <cstdint>
#include <string_view>

namespace beatmarks {

// Where the list's text goes: a fixed buffer that may fill, or a stream.
// A fragment is built from pieces and kept (or dropped whole) by EndFragment.
class ListText {
 public:
  virtual ~ListText() = default;
  virtual ListText& PutText(std::string_view piece) = 0;
  virtual ListText& PutInteger(std::int64_t value) = 0;
  virtual ListText& PutFixed3(double value) = 0;  // as "%.3f" writes it
  virtual void EndFragment() = 0;
  // True once the text can take nothing more.
  virtual bool cut() const = 0;

  void Append(std::string_view fragment) { PutText(fragment).EndFragment(); }
};

}  // namespace beatmarks
