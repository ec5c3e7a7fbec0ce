// MAP and OUTPUT given the wrong way round: the map is not written over.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

TEST(ArgumentOrder, SwappedArgumentsLeaveTheMap) {
  struct Case {
    const char* name;
    std::string output;  // what OUTPUT holds before the run
    bool swapped;
  };
  const std::string map = "Verse\ttmap\t96\t4\t2\n";
  const std::string midi = std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\4\0\xFF\x2F\0", 26);
  const Case cases[] = {
      {"a text map", map, true},
      {"a MIDI file", midi, true},
      {"a map behind a byte order mark", "\xEF\xBB\xBFtmap\t120\t4\t1\n", true},
      {"earlier list output", "\nSample Rate\t44100\n", false},
      {"a word, not a keyword", "tmaps\t1\t2\t3\n", false},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    WriteFile(folder.File("out.csv"), "time,name\n0.5,a\n");
    WriteFile(folder.File("target"), c.output);
    RunResult r = RunBeatmarks({"out.csv", "target"}, "", folder.path());
    const std::string read = "Beatmarks 1.0\nRead 0 sections, 0 measures, 0 beats\n";
    if (c.swapped) {
      EXPECT_EQ(r.out, read + "Error: out.csv holds no tempo map but target does: the arguments look swapped "
                              "(MAP comes first, then OUTPUT); nothing written\n") << c.name;
      EXPECT_EQ(r.status, 1) << c.name;
      EXPECT_EQ(ReadFile(folder.File("target")), c.output) << c.name;
    } else {
      EXPECT_EQ(r.status, 0) << c.name;
      EXPECT_GT(ReadFile(folder.File("target")).size(), c.output.size()) << c.name;
    }
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_EQ(ReadFile(folder.File("out.csv")), "time,name\n0.5,a\n") << c.name;
  }
}

// A map with sections writes to any OUTPUT, a map among them, as always.
TEST(ArgumentOrder, MapOverMapStillAppends) {
  TempFolder folder;
  WriteFile(folder.File("a.tmap"), "tmap\t120\t4\t1\n");
  WriteFile(folder.File("b.tmap"), "tmap\t96\t4\t1\n");
  RunResult r = RunBeatmarks({"a.tmap", "b.tmap"}, "", folder.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadFile(folder.File("b.tmap")).rfind("tmap\t96\t4\t1\n\nSample Rate", 0), 0u);
}

}  // namespace
}  // namespace beatmarks::testing
