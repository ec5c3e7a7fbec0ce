#include "files/export_file.h"

#include <utility>

namespace beatmarks {

ExportFile::ExportFile() { buffer_.reserve(kFlushAt + 4096); }

ExportFile::~ExportFile() = default;

bool ExportFile::Open(const std::string& name, WriteMode mode) { return file_.Open(name, mode); }

void ExportFile::ReportProgress(ProgressReport report) { progress_ = std::move(report); }

void ExportFile::Flush() {
  file_.Write(buffer_);  // a failure stays in file_ and fails Finish
  bytes_ += buffer_.size();
  buffer_.clear();
  if (progress_) progress_(bytes_, false);
}

bool ExportFile::Finish() {
  Flush();
  if (progress_) progress_(bytes_, true);
  return file_.Finish();
}

}  // namespace beatmarks
