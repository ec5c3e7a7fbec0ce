#include "app/format_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/command_line.h"

namespace beatmarks {
namespace {

// Options for `-f NAME` (with `extra`) on a map and an output.
bool Accepted(const std::string& name, const char* extra, std::string& error) {
  const char* args[] = {"-f", name.c_str(), extra, "map.tmap", "out"};
  Options o;
  return ParseOptions(5, args, o, error) && CheckOptions(o, error);
}

// Every row is one format: named once, described in --help within 80
// columns, accepted by the options check, and taking --locate or an output
// on standard output exactly as the row says.
TEST(FormatTable, EveryRowIsOneFormat) {
  std::set<std::string> names, listed;
  const std::string help = UsageText();
  for (const FormatRow& row : Formats()) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(names.insert(row.name).second);
    EXPECT_EQ(FindFormat(row.name), &row);
    EXPECT_NE(help.find("\n  " + std::string(row.name) + " "), std::string::npos);
    EXPECT_NE(FormatNames(false).find(row.name), std::string::npos);
    EXPECT_TRUE((row.write != nullptr) != (row.run != nullptr));
    std::string error;
    // A marker list is only right at the video's rate: edl needs it given.
    const bool timecode = std::string(row.name) == "edl";
    EXPECT_EQ(Accepted(row.name, "--", error), !timecode) << error;
    const char* needed = timecode ? "--timecode=25" : "--";
    EXPECT_TRUE(Accepted(row.name, needed, error)) << error;
    EXPECT_EQ(Accepted(row.name, "--locate=t.txt", error), row.locates) << error;
    const char* toStdout[] = {"-f", row.name, needed, "map.tmap", "-"};
    Options o;
    ASSERT_TRUE(ParseOptions(5, toStdout, o, error));
    EXPECT_EQ(CheckOptions(o, error), row.needs == FormatNeeds::kText) << error;
  }
  EXPECT_EQ(FindFormat("mp3"), nullptr);
  for (std::size_t at = 0, end; at < help.size(); at = end + 1) {
    end = help.find('\n', at);
    EXPECT_LT(end - at, 80u) << help.substr(at, end - at);
  }
}

}  // namespace
}  // namespace beatmarks
