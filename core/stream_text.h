#pragma once

#include "core/export_file.h"
#include "core/list_text.h"

namespace beatmarks {

// The list's text streamed to an export, with no size limit.
class StreamText : public ListText {
 public:
  explicit StreamText(ExportFile& out) : out_(out) {}

  StreamText& PutText(std::string_view piece) override;
  StreamText& PutInteger(std::int64_t value) override;
  StreamText& PutFixed3(double value) override;
  void EndFragment() override { out_.Filled(); }
  bool cut() const override { return false; }

 private:
  ExportFile& out_;
};

// Appends a number in its shortest form, as text formats write it.
void AppendInteger(std::string& text, std::int64_t value);

}  // namespace beatmarks
