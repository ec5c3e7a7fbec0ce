#include "core/export_file.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "core/fd_io.h"
#include "core/output.h"

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

bool ExportFile::Open(const std::string& name, Mode mode) {
  mode_ = mode;
  toStdout_ = name == "-";
  progress_ = !toStdout_ && ::isatty(STDERR_FILENO) == 1;
  lastProgress_ = NowMs();
  if (toStdout_) {
    FlushOutput();
    std::fflush(stdout);
    return true;
  }
  return mode == Mode::kReplace ? replacer_.Open(name.c_str()) : appender_.Open(name.c_str());
}

bool ExportFile::WriteOut(std::string_view text) {
  if (toStdout_) return WriteAll(STDOUT_FILENO, text);
  return mode_ == Mode::kReplace ? replacer_.Write(text) : appender_.Write(text);
}

void ExportFile::Flush() {
  if (!failed_) failed_ = !WriteOut(buffer_);
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
  if (toStdout_) return !failed_;
  bool finished = mode_ == Mode::kReplace ? (!failed_ && replacer_.Finish()) : appender_.Finish();
  return finished && !failed_;
}

}  // namespace beatmarks
