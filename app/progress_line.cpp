#include "app/progress_line.h"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace beatmarks {
namespace {

constexpr std::int64_t kProgressEveryMs = 250;

std::int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Progress {
  std::FILE* out;
  std::int64_t everyMs;
  MillisecondClock clock;
  std::int64_t last = clock();
  bool shown = false;

  void operator()(std::uint64_t bytes, bool end) {
    if (end) {
      if (shown) std::fputs("\r\033[K", out);
      return;
    }
    const std::int64_t now = clock();
    if (now - last < everyMs) return;
    last = now;
    shown = true;
    std::fprintf(out, "\rbeatmarks: %.1f MB written", static_cast<double>(bytes) / 1e6);
    std::fflush(out);
  }
};

}  // namespace

std::int64_t ProgressInterval(const char* setting) {
  if (setting == nullptr) return kProgressEveryMs;
  const char* end = setting + std::strlen(setting);
  std::int64_t ms = 0;
  const auto [stop, error] = std::from_chars(setting, end, ms);
  return error == std::errc() && stop == end && stop != setting && ms >= 0 ? ms : kProgressEveryMs;
}

ExportFile::ProgressReport ProgressOn(std::FILE* out, std::int64_t everyMs, MillisecondClock clock) {
  auto progress = std::make_shared<Progress>(Progress{out, everyMs, std::move(clock)});
  return [progress](std::uint64_t bytes, bool end) { (*progress)(bytes, end); };
}

ExportFile::ProgressReport ProgressLine() {
  if (::isatty(STDERR_FILENO) != 1) return {};
  return ProgressOn(stderr, ProgressInterval(std::getenv("BEATMARKS_PROGRESS_MS")), SteadyMs);
}

}  // namespace beatmarks
