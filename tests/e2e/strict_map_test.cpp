// A run with options refuses a text map whose numbers it would misread,
// naming the file and line; runs without options read it as they always have.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

const std::string kBanner = "Beatmarks 1.0\n";

TEST(StrictMap, MisreadNumbersRefused) {
  struct Case {
    const char* name;
    std::string map;
    std::string error;  // "" for a map read and written
  };
  const std::string three = "the tmap line has 2 of its 3 values (tempo, beats per measure, measures)";
  const Case cases[] = {
      {"letter O in a tempo", "Song\ntmap\t9O\t4\t8\n", ":2: '9O' is not a number"},
      {"decimal comma", "tmap\t96,5\t4\t8\n", ":1: '96,5' is not a number"},
      {"rate with a unit", "tmap\t96\t4\t8\nrate\t44.1k\n", ":2: '44.1k' is not a number"},
      {"beats a decimal", "tmap\t96\t4.5\t8\n", ":1: '4.5' is not a number"},
      {"measures in hex", "tmap\t96\t4\t0x10\n", ":1: '0x10' is not a number"},
      {"two values at the end", "tmap\t96\t4\n", ":1: " + three},
      {"two values, more lines", "tmap\t96\t4\ntmap\t100\t4\t8\n", ":1: " + three},
      {"measures on the next line", "tmap\t96\t4\t\n8\n", ":1: the tmap line has 2 of its 3 values "
                                                          "(tempo, beats per measure, measures)"},
      {"beats left empty", "tmap\t96\t\n", ":1: the tmap line has 1 of its 3 values (tempo, beats per measure, measures)"},
      {"tmap alone", "x\ny\ntmap\n", ":3: the tmap line has 0 of its 3 values (tempo, beats per measure, measures)"},
      {"stop without a value", "tmap\t96\t4\t8\nstop\n", ":2: 'stop' has no value"},
      {"control characters shown safely", "tmap\t9\x1b[2J\t4\t8\n", ":1: '9?[2J' is not a number"},
      {"CR LF, spaces, a byte order mark, names", "\xEF\xBB\xBFVerse\ttmap\t 96.5 \t4\t8\r\nrate\t48000\r\n", ""},
      {"exponent and signs", "tmap\t9.6e1\t+4\t8\nstart\t-1\n", ""},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    WriteFile(folder.File("map.tmap"), c.map);
    RunResult r = RunBeatmarks({"-f", "csv", "map.tmap", "out.csv"}, "", folder.path());
    if (c.error.empty()) {
      EXPECT_EQ(r.status, 0) << c.name << r.err;
      EXPECT_TRUE(FileExists(folder.File("out.csv"))) << c.name;
    } else {
      EXPECT_EQ(r.err, kBanner + "beatmarks: map.tmap" + c.error + "\n") << c.name;
      EXPECT_EQ(r.status, 1) << c.name;
      EXPECT_FALSE(FileExists(folder.File("out.csv"))) << c.name;
    }
    EXPECT_EQ(r.out, "") << c.name;
    std::remove(folder.File("out.csv").c_str());
  }
}

// Runs without options keep the lenient reading: '9O' is 9 as ever.
TEST(StrictMap, RunsWithoutOptionsUnchanged) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t9O\t4\t1\n");
  RunResult r = RunBeatmarks({"map.tmap", "out.txt", "44100", "1", "1"}, "", folder.path());
  EXPECT_EQ(r.out, kBanner + "Read 1 sections, 1 measures, 4 beats\nSaved 171 bytes\n");
  EXPECT_EQ(r.status, 0);
  r = RunBeatmarks({"map.tmap", "-"}, "", folder.path());
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, kBanner + "beatmarks: map.tmap:1: '9O' is not a number\n");
  EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace beatmarks::testing
