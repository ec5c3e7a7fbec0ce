// MAP from standard input or a pipe in runs with options: the same output as
// the same map named as a file; a map that cannot be read is named.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

TEST(MapFromPipe, ReadAsTheFileWouldBe) {
  struct Case {
    const char* name;
    std::string map;                // the map's bytes
    std::vector<std::string> args;  // MAP is the next to last
    bool sameBytes;                 // a MIDI file's track is named after MAP
  };
  const std::string midi = ReadFile(std::string(BEATMARKS_EXAMPLES) + "/ramp-and-6-8.mid");
  const Case cases[] = {
      {"text map as -", "Song\ntmap\t120\t4\t2\ntmap\t90\t3\t1\n", {"-f", "csv"}, true},
      {"text map as /dev/stdin", "tmap\t120\t4\t2\n", {"-f", "json", "-d", "2"}, true},
      {"MIDI file as -", midi, {"-f", "midi"}, false},
      {"the classic list with -", "tmap\t100\t4\t1\n", {"-f", "list"}, true},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    WriteFile(folder.File("map.tmap"), c.map);
    std::vector<std::string> named = c.args, piped = c.args;
    named.insert(named.end(), {"map.tmap", "named.out"});
    piped.insert(piped.end(), {std::string(c.name).find("/dev/stdin") != std::string::npos ? "/dev/stdin" : "-",
                               "piped.out"});
    const RunResult fromFile = RunBeatmarks(named, "", folder.path());
    const RunResult fromPipe = RunBeatmarks(piped, c.map, folder.path());
    EXPECT_EQ(fromFile.status, 0) << c.name << fromFile.out;
    EXPECT_EQ(fromPipe.status, fromFile.status) << c.name;
    if (c.sameBytes) {
      EXPECT_EQ(fromPipe.err, fromFile.err) << c.name;
      EXPECT_EQ(ReadFile(folder.File("piped.out")), ReadFile(folder.File("named.out"))) << c.name;
    } else {
      EXPECT_EQ(ReadFile(folder.File("piped.out")).substr(0, 4), "MThd") << c.name;
    }
    std::remove(folder.File("piped.out").c_str());
    std::remove(folder.File("named.out").c_str());
  }
}

TEST(MapFromPipe, RefusalsStayRefusals) {
  struct Case {
    std::vector<std::string> args;
    std::string input, out, err;
    int status;
  };
  const Case cases[] = {
      {{"-f", "csv", "-", "out.csv"}, "", "", "Beatmarks 1.0\nRead 0 sections, 0 measures, 0 beats\n"
                                              "beatmarks: standard input: no tempo map in it (no tmap line)\n", 1},
      {{"-f", "csv", "--locate=-", "-", "out.csv"}, "tmap\t120\t4\t2\n", "",
       "beatmarks: MAP and --locate=- cannot both be standard input\nTry 'beatmarks --help'.\n", 2},
      // A map that cannot be read is named, with the reason.
      {{"-f", "csv", "none.tmap", "out.csv"}, "", "", "Beatmarks 1.0\nbeatmarks: none.tmap: No such file or directory\n", 1},
      {{"-f", "csv", ".", "out.csv"}, "", "", "Beatmarks 1.0\nbeatmarks: .: is a folder\n", 1},
      {{"-f", "csv", "/dev/null", "out.csv"}, "", "", "Beatmarks 1.0\nbeatmarks: /dev/null: not a file or a pipe\n", 1},
      // Without options the map is a file, as it always was.
      {{"-", "out.csv"}, "tmap\t120\t4\t2\n", "Beatmarks 1.0\nFile not found!\n", "", 1},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    const RunResult r = RunBeatmarks(c.args, c.input, folder.path());
    EXPECT_EQ(r.out, c.out) << c.args[0];
    EXPECT_EQ(r.err, c.err) << c.args[0];
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_FALSE(FileExists(folder.File("out.csv")));
  }
}

}  // namespace
}  // namespace beatmarks::testing
