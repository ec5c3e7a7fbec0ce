#include "app/run_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

#include <chrono>

#include "terminal/output.h"

namespace beatmarks {

int UsageError(const std::string& message) {
  FlushOutput();  // the messages so far come first
  std::fprintf(stderr, "beatmarks: %s\nTry 'beatmarks --help'.\n", message.c_str());
  return 2;
}

int Saved(std::uint64_t bytes) {
  Print("Saved %llu bytes\n", static_cast<unsigned long long>(bytes));
  return 0;
}

int CouldNotWrite(const std::string& name, int error, bool why) {
  FlushOutput();  // the messages so far come first
  if (name == "-") {
    std::fprintf(stderr, "beatmarks: write error: %s\n", std::strerror(error != 0 ? error : EIO));
    return 1;
  }
  Print("Error: Could not write file %s!\n", name.c_str());
  if (why) SayWhy(name, error);
  return 1;
}

namespace {

constexpr std::int64_t kProgressEveryMs = 250;

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Progress {
  std::int64_t last = NowMs();
  bool shown = false;

  void operator()(std::uint64_t bytes, bool end) {
    if (end) {
      if (shown) std::fputs("\r\033[K", stderr);
      return;
    }
    const std::int64_t now = NowMs();
    if (now - last < kProgressEveryMs) return;
    last = now;
    shown = true;
    std::fprintf(stderr, "\rbeatmarks: %.1f MB written", static_cast<double>(bytes) / 1e6);
    std::fflush(stderr);
  }
};

}  // namespace

ExportFile::ProgressReport ProgressLine() {
  if (::isatty(STDERR_FILENO) != 1) return {};
  auto progress = std::make_shared<Progress>();
  return [progress](std::uint64_t bytes, bool end) { (*progress)(bytes, end); };
}

void SayWhy(const std::string& name, int error) {
  if (error == 0) return;
  FlushOutput();
  std::fprintf(stderr, "beatmarks: %s: %s\n", name.c_str(), std::strerror(error));
}

}  // namespace beatmarks
