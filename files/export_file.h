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
  std::string& text() { return buffer_; }
  void Filled() {
    if (buffer_.size() >= kFlushAt) Flush();
  }
  void Put(std::string_view piece) { buffer_.append(piece); }

  // Writes what is left and makes the output final; false when any write failed.
  bool Finish();
  std::uint64_t bytes() const { return bytes_ + buffer_.size(); }
  int Error() const { return file_.Error(); }  // the errno of the failure

 private:
  static constexpr std::size_t kFlushAt = 1 << 16;

  void Flush();

  OutputFile file_;
  std::string buffer_;
  std::uint64_t bytes_ = 0;
  ProgressReport progress_;
};

}  // namespace beatmarks
