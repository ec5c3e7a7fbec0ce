#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "files/output_file.h"

namespace beatmarks {

// An export's text on its way to an OutputFile. Text is gathered in a buffer of a
// fixed size and written as it fills, so memory stays flat however long the
// export. Whoever opens it may follow its progress: a report of the bytes
// written after each block, and a last one when it is finished.
class ExportFile {
 public:
  ExportFile();
  ~ExportFile();
  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;

  using ProgressReport = std::function<void(std::uint64_t bytes, bool last)>;

  // False when the output cannot be opened; nothing has changed then.
  bool Open(const std::string& name, WriteMode mode);
  void ReportProgress(ProgressReport report);

  // The buffer to add text to; call Filled() after each line.
  std::string& text() {
    if (spare_ != 0) KeepText();
    return buffer_;
  }
  void Filled() {
    if (buffer_.size() - spare_ >= kFlushAt) Flush();
  }
  void Put(std::string_view piece) { text().append(piece); }
  // Room for `size` more bytes after the text, to format a line straight
  // into; Keep(end) then keeps what was written, up to `end`.
  char* Tail(std::size_t size) {
    if (spare_ < size) Reserve(size);
    return buffer_.data() + (buffer_.size() - spare_);
  }
  void Keep(const char* end) {
    spare_ = static_cast<std::size_t>(buffer_.data() + buffer_.size() - end);
  }
  // Keep(end) for a whole line: Filled() too.
  void KeepLine(const char* end) {
    Keep(end);
    if (static_cast<std::size_t>(end - buffer_.data()) >= kFlushAt) Flush();
  }

  // Writes what is left and makes the output final; false when any write failed.
  bool Finish();
  std::uint64_t bytes() const { return bytes_ + (buffer_.size() - spare_); }
  int Error() const { return file_.Error(); }  // the errno of the failure

 private:
  static constexpr std::size_t kFlushAt = 1 << 16;

  void Flush();
  void Reserve(std::size_t size);
  void KeepText();  // drops the room left after the text

  OutputFile file_;
  std::string buffer_;
  std::size_t spare_ = 0;  // bytes at the end of buffer_ that are room, not text
  std::uint64_t bytes_ = 0;
  ProgressReport progress_;
};

}  // namespace beatmarks
