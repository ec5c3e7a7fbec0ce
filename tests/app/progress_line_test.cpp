#include "app/progress_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace beatmarks {
namespace {

// What the progress line prints for flushes at the given clock readings
// (bytes 1 MB apart), then the end of the export.
std::string Drawn(std::int64_t everyMs, std::initializer_list<std::int64_t> readings) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = ::open_memstream(&text, &size);
  std::int64_t now = 0;
  auto report = ProgressOn(out, everyMs, [&] { return now; });
  std::uint64_t bytes = 0;
  for (std::int64_t reading : readings) {
    now = reading;
    bytes += 1000000;
    report(bytes, false);
  }
  report(bytes, true);
  std::fclose(out);
  std::string drawn(text, size);
  std::free(text);
  return drawn;
}

TEST(ProgressLine, RedrawnOnlyWhenTheIntervalHasPassed) {
  const struct {
    std::int64_t everyMs;
    std::initializer_list<std::int64_t> readings;
    const char* drawn;
  } cases[] = {
      {250, {10, 249}, ""},  // a short export shows nothing, clears nothing
      {250, {100, 250, 300, 499, 500},
       "\rbeatmarks: 2.0 MB written\rbeatmarks: 5.0 MB written\r\033[K"},
      {0, {0, 0}, "\rbeatmarks: 1.0 MB written\rbeatmarks: 2.0 MB written\r\033[K"},
  };
  for (const auto& c : cases) EXPECT_EQ(Drawn(c.everyMs, c.readings), c.drawn);
}

TEST(ProgressLine, IntervalFromTheEnvironment) {
  const struct {
    const char* setting;
    std::int64_t ms;
  } cases[] = {{nullptr, 250}, {"0", 0}, {"40", 40}, {"", 250}, {"-1", 250}, {"5x", 250},
               {"99999999999999999999", 250}};
  for (const auto& c : cases) EXPECT_EQ(ProgressInterval(c.setting), c.ms) << (c.setting ? c.setting : "unset");
}

}  // namespace
}  // namespace beatmarks
