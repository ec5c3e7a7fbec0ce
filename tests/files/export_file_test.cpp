#include "files/export_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

namespace beatmarks {
namespace {

struct Written {
  std::vector<std::pair<std::uint64_t, bool>> reports;  // with the bytes counted after each line
  std::vector<std::uint64_t> counted;
  std::string bytes, lines;  // what the file holds, and what was given
};

// Generated lines of 1 to 300 bytes, each appended to the text (way 0) or
// formatted into the room at its end, then kept (1) or kept as a whole line
// (2), as `way` says.
Written Export(int (*way)(std::size_t line)) {
  const std::string name = ::testing::TempDir() + "export";
  Written written;
  {
    ExportFile out;
    EXPECT_TRUE(out.Open(name, WriteMode::kReplace));
    out.ReportProgress([&](std::uint64_t bytes, bool last) { written.reports.emplace_back(bytes, last); });
    std::mt19937_64 random(7);
    for (std::size_t i = 0; i < 5000; ++i) {
      const std::string line(1 + random() % 300, static_cast<char>('a' + i % 26));
      written.lines += line;
      const int how = way(i);
      if (how == 0) out.text() += line;
      char* const at = how == 0 ? nullptr : out.Tail(line.size());
      if (how != 0) std::memcpy(at, line.data(), line.size());
      if (how == 1) out.Keep(at + line.size());
      if (how == 2) {
        out.KeepLine(at + line.size());
      } else {
        out.Filled();
      }
      written.counted.push_back(out.bytes());
    }
    EXPECT_TRUE(out.Finish());
  }
  std::ifstream file(name, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  written.bytes = bytes.str();
  return written;
}

// Lines formatted into the room are written, flushed and reported as the
// same lines appended would be, however the two ways mix.
TEST(ExportFile, RoomAtTheEndWritesAsAppending) {
  const Written appended = Export([](std::size_t) { return 0; });
  ASSERT_GT(appended.reports.size(), 5u);
  EXPECT_TRUE(appended.bytes == appended.lines);
  for (const auto way : {+[](std::size_t) { return 1; }, +[](std::size_t) { return 2; },
                         +[](std::size_t i) { return i % 3 == 0 ? 1 : 0; },
                         +[](std::size_t i) { return static_cast<int>(i % 3); }}) {
    const Written w = Export(way);
    EXPECT_EQ(w.reports, appended.reports);
    EXPECT_EQ(w.counted, appended.counted);
    EXPECT_TRUE(w.bytes == appended.bytes);
  }
}

}  // namespace
}  // namespace beatmarks
