#pragma once

#include <cstdint>
#include <string_view>

#include "files/export_file.h"

namespace beatmarks {

// The list's text streamed to an export, with no size limit.
class StreamText {
 public:
  explicit StreamText(ExportFile& out) : out_(out) {}

  StreamText& PutText(std::string_view piece);
  StreamText& PutInteger(std::int64_t value);
  StreamText& PutFixed3(double value);
  void EndFragment() { out_.Filled(); }
  void Append(std::string_view fragment) { PutText(fragment).EndFragment(); }
  bool cut() const { return false; }

 private:
  ExportFile& out_;
};

// Appends a number in its shortest form, as text formats write it.
void AppendInteger(std::string& text, std::int64_t value);

}  // namespace beatmarks
