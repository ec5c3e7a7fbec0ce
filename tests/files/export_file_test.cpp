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
  std::string bytes;
};

// Generated lines of 1 to 300 bytes, each appended to the text or formatted
// into the room at its end, as `tailed` says.
Written Export(bool (*tailed)(std::size_t line)) {
  const std::string name = ::testing::TempDir() + "export";
  Written written;
  {
    ExportFile out;
    EXPECT_TRUE(out.Open(name, WriteMode::kReplace));
    out.ReportProgress([&](std::uint64_t bytes, bool last) { written.reports.emplace_back(bytes, last); });
    std::mt19937_64 random(7);
    for (std::size_t i = 0; i < 5000; ++i) {
      const std::string line(1 + random() % 300, static_cast<char>('a' + i % 26));
      if (tailed(i)) {
        char* at = out.Tail(line.size());
        std::memcpy(at, line.data(), line.size());
        out.Keep(at + line.size());
      } else {
        out.text() += line;
      }
      written.counted.push_back(out.bytes());
      out.Filled();
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
  const Written appended = Export([](std::size_t) { return false; });
  ASSERT_GT(appended.reports.size(), 5u);
  for (const auto tailed : {+[](std::size_t) { return true; }, +[](std::size_t i) { return i % 3 == 0; },
                            +[](std::size_t i) { return i % 2 == 1; }}) {
    const Written w = Export(tailed);
    EXPECT_EQ(w.reports, appended.reports);
    EXPECT_EQ(w.counted, appended.counted);
    EXPECT_TRUE(w.bytes == appended.bytes);
  }
}

}  // namespace
}  // namespace beatmarks
