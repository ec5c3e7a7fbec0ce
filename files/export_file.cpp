#include "files/export_file.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>


namespace beatmarks {
namespace {

constexpr std::int64_t kProgressEveryMs = 250;

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ExportFile::ExportFile() { buffer_.reserve(kFlushAt + 4096); }

ExportFile::~ExportFile() = default;

bool ExportFile::Open(const std::string& name, WriteMode mode) {
  progress_ = name != "-" && ::isatty(STDERR_FILENO) == 1;
  lastProgress_ = NowMs();
  return file_.Open(name, mode);
}

void ExportFile::Flush() {
  file_.Write(buffer_);  // a failure stays in file_ and fails Finish
  bytes_ += buffer_.size();
  buffer_.clear();
  if (progress_) ShowProgress(false);
}

void ExportFile::ShowProgress(bool last) {
  if (last) {
    if (progressShown_) std::fputs("\r\033[K", stderr);
    return;
  }
  std::int64_t now = NowMs();
  if (now - lastProgress_ < kProgressEveryMs) return;
  lastProgress_ = now;
  progressShown_ = true;
  std::fprintf(stderr, "\rbeatmarks: %.1f MB written", static_cast<double>(bytes_) / 1e6);
  std::fflush(stderr);
}

bool ExportFile::Finish() {
  Flush();
  if (progress_) ShowProgress(true);
  return file_.Finish();
}

}  // namespace beatmarks
