// Times as audio editors and spreadsheets export them read as the same times
// in plain seconds would: every byte of the run is the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

TEST(EditorExports, ReadAsPlainSeconds) {
  struct Case {
    const char* name;
    bool fit;            // beats of --fit, else TIMES of --locate
    std::string export_;  // as the editor writes it
    std::string plain;   // the same times in plain seconds
  };
  const Case cases[] = {
      {"REAPER markers", false, "#,Name,Start,End,Length\nM1,Intro,0:00.500,,\nM2,Solo,1:02.250,,\n",
       "time,name\n0.500,Intro\n62.250,Solo\n"},
      {"hours", false, "time\n1:00:01.5\n", "time\n3601.5\n"},
      {"Sonic Visualiser, no header", false, "0.500000000,\"1\"\n2.000000000,\"2\"\n", "0.500000000\n2.000000000\n"},
      {"semicolons and decimal commas", false, "time;label\n0,5;a\n1,75;b\n", "time,label\n0.5,a\n1.75,b\n"},
      {"a column of milliseconds", false, "Time (ms);name\n500;a\n1750,5;b\n", "time,name\n0.500,a\n1.7505,b\n"},
      {"taps as m:ss.fff", true, "0:00.000\n0:00.500\n0:01.000\n0:01.500\n", "0.000\n0.500\n1.000\n1.500\n"},
      {"taps in a semicolon CSV", true, "time;measure;beat\n0;1;1\n0,5;1;2\n1;1;3\n1,5;1;4\n",
       "time,measure,beat\n0,1,1\n0.5,1,2\n1,1,3\n1.5,1,4\n"},
  };
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t40\n");
  auto run = [&](const Case& c, const std::string& times) {
    WriteFile(folder.File("times.csv"), times);
    const std::vector<std::string> args =
        c.fit ? std::vector<std::string>{"--fit", "-f", "csv", "times.csv", "-"}
              : std::vector<std::string>{"-f", "csv", "--locate=times.csv", "map.tmap", "-"};
    return RunBeatmarks(args, "", folder.path());
  };
  for (const Case& c : cases) {
    const RunResult plain = run(c, c.plain), exported = run(c, c.export_);
    EXPECT_EQ(plain.status, 0) << c.name << plain.err;
    EXPECT_NE(plain.out, "") << c.name;
    EXPECT_EQ(exported.out, plain.out) << c.name;
    EXPECT_EQ(exported.err, plain.err) << c.name;
    EXPECT_EQ(exported.status, plain.status) << c.name;
  }
}

// A value that is still not a time says which forms are read.
TEST(EditorExports, NotATimeSaysTheForms) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t4\n");
  WriteFile(folder.File("times.txt"), "0:01.5\n1:75\n");
  RunResult r = RunBeatmarks({"-f", "csv", "--locate=times.txt", "map.tmap", "out.csv"}, "", folder.path());
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Beatmarks 1.0\nRead 1 sections, 4 measures, 16 beats\nbeatmarks: times.txt:2: '1:75' is not a time "
                   "(times read: seconds such as 12.5, m:ss.fff, h:mm:ss.fff)\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(FileExists(folder.File("out.csv")));
}

}  // namespace
}  // namespace beatmarks::testing
