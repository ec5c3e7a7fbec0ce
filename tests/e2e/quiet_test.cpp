// --quiet: a run says its failures and nothing else.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

TEST(Quiet, ErrorsOnly) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string out, err;
    int status;
  };
  const Case cases[] = {
      {"saved", {"-q", "-f", "csv", "song.tmap", "out"}, "", "", 0},
      {"long form, to standard output", {"--quiet", "-f", "summary", "song.tmap", "-"}, "(data)", "", 0},
      {"a map misread", {"-q", "-f", "csv", "bad.tmap", "out"}, "", "beatmarks: bad.tmap:1: '9O' is not a number\n", 1},
      {"a map missing", {"-q", "-f", "json", "none.tmap", "out"}, "", "beatmarks: none.tmap: No such file or directory\n", 1},
      {"a list cut short", {"-q", "-f", "list", "long.tmap", "out"}, "",
       "Warning: text longer than 65535 characters, list cut short\n", 1},
      {"a fit's notes", {"-q", "--fit", "-f", "csv", "taps.txt", "out"}, "", "", 0},
      {"usage errors as ever", {"-q", "--frobnicate", "song.tmap", "out"}, "",
       "beatmarks: unknown option '--frobnicate'\nTry 'beatmarks --help'.\n", 2},
  };
  TempFolder folder;
  WriteFile(folder.File("song.tmap"), ReadFile(std::string(BEATMARKS_EXAMPLES) + "/song.tmap"));
  WriteFile(folder.File("bad.tmap"), "tmap\t9O\t4\t8\n");
  WriteFile(folder.File("long.tmap"), "tmap\t120\t4\t1000\n");
  // A tap doubled, which the fit mends and would say so.
  WriteFile(folder.File("taps.txt"), "0\n0.5\n1\n1.02\n1.5\n2\n2.5\n3\n3.5\n");
  for (const Case& c : cases) {
    const RunResult r = RunBeatmarks(c.args, "", folder.path());
    if (c.out == "(data)") {
      EXPECT_NE(r.out, "") << c.name;
    } else {
      EXPECT_EQ(r.out, c.out) << c.name;
    }
    EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_EQ(r.status, c.status) << c.name;
    const bool written = c.args.back() == "out" && (c.status == 0 || c.err.find("cut short") != std::string::npos);
    EXPECT_EQ(FileExists(folder.File("out")), written) << c.name;
    std::remove(folder.File("out").c_str());
  }
  // Without -q the same runs speak.
  EXPECT_NE(RunBeatmarks({"--fit", "-f", "csv", "taps.txt", "out"}, "", folder.path()).err.find("Read 8 beats"),
            std::string::npos);
}

}  // namespace
}  // namespace beatmarks::testing
