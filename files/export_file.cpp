#include "files/export_file.h"

#include <utility>

namespace beatmarks {

ExportFile::ExportFile() { buffer_.reserve(kFlushAt + 4096); }

ExportFile::~ExportFile() = default;

bool ExportFile::Open(const std::string& name, WriteMode mode) { return file_.Open(name, mode); }

void ExportFile::ReportProgress(ProgressReport report) { progress_ = std::move(report); }

void ExportFile::Reserve(std::size_t size) {
  constexpr std::size_t kRoomAtOnce = 4096;  // not a resize for each line
  const std::size_t used = buffer_.size() - spare_;
  buffer_.resize(used + size + kRoomAtOnce);
  spare_ = size + kRoomAtOnce;
}

void ExportFile::KeepText() {
  buffer_.resize(buffer_.size() - spare_);
  spare_ = 0;
}

// The room the buffer has stays for the next lines: growing it again would
// clear it again.
void ExportFile::Flush() {
  const std::size_t used = buffer_.size() - spare_;
  file_.Write(std::string_view(buffer_).substr(0, used));  // a failure stays in file_ and fails Finish
  bytes_ += used;
  spare_ = buffer_.size();
  if (progress_) progress_(bytes_, false);
}

bool ExportFile::Finish() {
  Flush();
  if (progress_) progress_(bytes_, true);
  return file_.Finish();
}

}  // namespace beatmarks
