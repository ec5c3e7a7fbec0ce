// Whole runs at the edges of the command line: the end of the options,
// exports to a full disk, and MIDI maps at the most measures a run holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "midi_bytes.h"

namespace beatmarks::testing {
namespace {

// '--' ends the options: what follows is read as the map and the output,
// even where it starts with a dash, and the run is the same as without it.
TEST(RunEdges, DoubleDashEndsTheOptions) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t97.3333\t3\t2\ntmap\t140\t4\t2\n");
  WriteFile(folder.File("-map.tmap"), ReadFile(folder.File("map.tmap")));
  struct Case {
    std::vector<std::string> with, without;
    int runs;  // the classic list is appended; the others replace
  };
  const Case cases[] = {
      {{"--", "map.tmap", "with.txt"}, {"map.tmap", "without.txt"}, 2},
      {{"--", "-map.tmap", "with.txt"}, {"./-map.tmap", "without.txt"}, 2},
      {{"-f", "csv", "--", "map.tmap", "with.txt"}, {"-f", "csv", "map.tmap", "without.txt"}, 2},
      {{"-d", "2", "--", "map.tmap", "-out.txt"}, {"-d", "2", "map.tmap", "without.txt"}, 1},
  };
  for (const Case& c : cases) {
    for (const char* name : {"with.txt", "without.txt", "-out.txt"}) {
      std::filesystem::remove(folder.File(name));
    }
    for (int run = 0; run < c.runs; ++run) {
      RunResult with = RunBeatmarks(c.with, "", folder.path());
      RunResult without = RunBeatmarks(c.without, "", folder.path());
      EXPECT_EQ(with.status, 0) << with.out << with.err;
      EXPECT_EQ(with.out + with.err, without.out + without.err);
      EXPECT_EQ(without.status, 0);
    }
    const std::string output = folder.File(c.with.back());
    std::string expected = ReadFile(folder.File("without.txt"));
    EXPECT_EQ(ReadFile(output), expected) << c.with.back();
    if (c.with[0] == "--") {  // appended twice
      EXPECT_EQ(expected.substr(0, expected.size() / 2), expected.substr(expected.size() / 2));
    }
  }
}

// Every export to a full standard output says so and ends with status 1,
// whether the disk fills at the first flush of a long export or at the end.
TEST(RunEdges, ExportToAFullStandardOutputFails) {
  TempFolder folder;
  WriteFile(folder.File("short.tmap"), "tmap\t120\t4\t1\n");
  WriteFile(folder.File("long.tmap"), "tmap\t120\t4\t5000\n");
  for (const char* format : {"list", "csv", "json", "labels", "svg"}) {
    for (const char* map : {"short.tmap", "long.tmap"}) {
      RunResult r = RunWith({{"-f", format, "-d", "4", map, "-"}, "", folder.path(), "/dev/full",
                             nullptr});
      EXPECT_EQ(r.status, 1) << format << " " << map;
      const std::string last = "\nbeatmarks: write error: No space left on device\n";
      EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), last.size())), last)
          << format << " " << map << ": " << r.err;
      EXPECT_EQ(r.err.find("Saved"), std::string::npos);
    }
  }
}

// 1/32 at 8 ticks a quarter: a measure is one tick, and one beat.
std::string OneTickMeasures(std::uint64_t measures) {
  constexpr std::uint32_t kLongestDelta = 0x0FFFFFFF;
  TrackBytes track;
  track.Meter(0, 1, 5, 3).Tempo(0, 500000);
  for (; measures > kLongestDelta; measures -= kLongestDelta) track.Meta(kLongestDelta, 1, "x");
  track.End(static_cast<std::uint32_t>(measures));
  return MidiHeader(0, 1, 8) + track.Chunk();
}

TEST(RunEdges, MidiMapsUpToTheLastMeasureNumber) {
  TempFolder folder;
  WriteFile(folder.File("most.mid"), OneTickMeasures(2147483647));
  WriteFile(folder.File("over.mid"), OneTickMeasures(2147483648));
  const std::vector<std::string> last = {"-f", "csv", "-s", "2147483647", "-e", "2147483647"};
  std::vector<std::string> args = last;
  args.insert(args.end(), {"most.mid", "-"});
  RunResult most = RunBeatmarks(args, "", folder.path());
  EXPECT_EQ(most.status, 0) << most.err;
  // Measure 2,147,483,647 begins at tick 2,147,483,646, at 16 ticks a second.
  EXPECT_EQ(most.out, "time,frame,measure,beat,division,label\r\n"
                      "134217727.875000000,5919001799288,2147483647,1,1,2147483647.1\r\n");
  args = last;
  args.insert(args.end(), {"over.mid", "-"});
  RunResult over = RunBeatmarks(args, "", folder.path());
  EXPECT_EQ(over.status, 1);
  EXPECT_EQ(over.out, "");
  EXPECT_EQ(over.err, "Beatmarks 1.0\nbeatmarks: over.mid: more than 2147483647 measures\n");
}

}  // namespace
}  // namespace beatmarks::testing
