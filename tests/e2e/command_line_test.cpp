// Whole command-line runs of the built program: standard output, exit status
// and the output file, byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "reference_grid.h"

namespace beatmarks::testing {
namespace {

// A map without sections: the list is of the default single section.
const char kNoSections[] = "no sections here\n";
const char kHelpExamples[] = "tmap\t144.6\t4\t32\ntmap\t152\t3\t16\n";
// 100 bpm in 3/4 for 2 measures, an empty section, 60 bpm in 2/4 for 3.
const char kMidMap[] = "tmap\t100\t3\t2\ntmap\t90\t4\t0\ntmap\t60\t2\t3\n";

const char kMidRange[] =
    "\nSample Rate\t48000\n\n"
    "\nSection 1\tTempo 100.000\tBeats/Meas 3\tMeasures 2\n\n"
    "M 2\tB 1\t1.800 sec\t86399 smp\n"
    "\t\t2.000 sec\t95999 smp\n"
    "\t\t2.200 sec\t105599 smp\n"
    "\tB 2\t2.400 sec\t115200 smp\n"
    "\t\t2.600 sec\t124800 smp\n"
    "\t\t2.800 sec\t134400 smp\n"
    "\tB 3\t3.000 sec\t144000 smp\n"
    "\t\t3.200 sec\t153600 smp\n"
    "\t\t3.400 sec\t163200 smp\n"
    "\n"
    "\nSection 3\tTempo 60.000\tBeats/Meas 2\tMeasures 3\n\n"
    "M 3\tB 1\t3.600 sec\t172800 smp\n"
    "\t\t3.933 sec\t188800 smp\n"
    "\t\t4.267 sec\t204800 smp\n"
    "\tB 2\t4.600 sec\t220800 smp\n"
    "\t\t4.933 sec\t236800 smp\n"
    "\t\t5.267 sec\t252800 smp\n"
    "\n"
    "M 4\tB 1\t5.600 sec\t268800 smp\n"
    "\t\t5.933 sec\t284799 smp\n"
    "\t\t6.267 sec\t300799 smp\n"
    "\tB 2\t6.600 sec\t316799 smp\n"
    "\t\t6.933 sec\t332799 smp\n"
    "\t\t7.267 sec\t348799 smp\n";

std::string Saved(const std::string& text) {
  return "Saved " + std::to_string(text.size()) + " bytes\n";
}

struct Case {
  const char* name;
  std::string map;  // written to map.tmap unless empty
  std::vector<std::string> args;
  std::string before;  // out.txt's content before the run, if any
  std::string out;     // expected standard output
  int status;
  std::string after;  // expected content of out.txt
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> Cases() {
  const std::string banner = "Beatmarks 1.0\n";
  const std::string worked = DefaultGrid(1);
  const std::string bigGrid = CutToLimit(DefaultGrid(3001));
  const std::string helpRead = "Read 2 sections, 48 measures, 176 beats\n";
  const std::string onlyRate = "\nSample Rate\t44100\n";
  const std::string tenHertz =
      "\nSample Rate\t10\n\nSection 1\tTempo 120.000\tBeats/Meas 4\tMeasures 1\n\n"
      "M 1\tB 1\t0.000 sec\t0 smp\n\tB 2\t0.500 sec\t5 smp\n"
      "\tB 3\t1.000 sec\t10 smp\n\tB 4\t1.500 sec\t15 smp\n";
  return {
      {"NoSectionsWritesWorkedExample", kNoSections, {"map.tmap", "out.txt"}, "",
       banner + "Read 0 sections, 0 measures, 0 beats\n" + Saved(worked), 0, worked},
      {"MissingMapWritesNothing", "", {"none.tmap", "out.txt"}, "kept\n",
       banner + "File not found!\n", 1, "kept\n"},
      {"MapThatIsAFolderWritesNothing", "", {".", "out.txt"}, "",
       banner + "File not found!\n", 1, ""},
      {"AppendsToExistingFile", kNoSections, {"map.tmap", "out.txt"}, "old list\n",
       banner + "Read 0 sections, 0 measures, 0 beats\n" + Saved(worked), 0, "old list\n" + worked},
      {"MidSectionRangeAcrossEmptySection", kMidMap, {"map.tmap", "out.txt", "48000", "2", "4", "3"},
       "", banner + "Read 3 sections, 5 measures, 12 beats\n" + Saved(kMidRange), 0, kMidRange},
      {"StartAfterStopGivesOnlyRate", kHelpExamples, {"map.tmap", "out.txt", "44100", "5", "3"}, "",
       banner + helpRead + Saved(onlyRate), 0, onlyRate},
      {"StopOneIsUsedUnchanged", kNoSections, {"map.tmap", "out.txt", "44100", "1", "1"}, "",
       banner + "Read 0 sections, 0 measures, 0 beats\n" + Saved(worked), 0, worked},
      {"TempoZeroInLaterSectionEndsRun", "tmap\t120\t4\t2\ntmap\t0\t4\t2\n",
       {"map.tmap", "out.txt", "44100", "1", "1"}, "kept\n",
       banner + "Read 2 sections, 4 measures, 16 beats\n"
                "Error: Tempo must be greater than zero! (section 2)\n",
       1, "kept\n"},
      {"NonFiniteTempo", "tmap\t1e999\t4\t2\n", {"map.tmap", "out.txt"}, "",
       banner + "Read 1 sections, 2 measures, 8 beats\n"
                "Error: Tempo must be a finite number! (section 1)\n",
       1, ""},
      {"ZeroBeatsPerMeasure", "tmap\t120\t0\t2\n", {"map.tmap", "out.txt"}, "",
       banner + "Read 1 sections, 2 measures, 0 beats\n"
                "Error: Beats per measure must be greater than zero! (section 1)\n",
       1, ""},
      {"ZeroDivisions", kNoSections, {"map.tmap", "out.txt", "44100", "1", "1", "0"}, "",
       banner + "Read 0 sections, 0 measures, 0 beats\nError: Divisions per beat must be greater than zero!\n", 1, ""},
      {"SeventhArgumentLeavesDivisions", kNoSections, {"map.tmap", "out.txt", "44100", "1", "1", "0", "x"},
       "", banner + "Read 0 sections, 0 measures, 0 beats\n" + Saved(worked), 0, worked},
      {"CutAtLimitWarns", kNoSections, {"map.tmap", "out.txt", "44100", "1", "3001"}, "",
       banner + "Read 0 sections, 0 measures, 0 beats\n" + Saved(bigGrid) +
           "Warning: text longer than 65535 characters, list cut short\n",
       1, bigGrid},
      {"RateArgumentIsDecimal", kNoSections, {"map.tmap", "out.txt", "010", "1", "1", "1"}, "",
       banner + "Read 0 sections, 0 measures, 0 beats\n" + Saved(tenHertz), 0, tenHertz},
      {"LongMapNameRefused", "", {std::string(128, 'm'), "out.txt"}, "",
       banner + "Error: File name longer than 127 characters!\n", 1, ""},
      {"LongOutputNameRefused", kNoSections, {"map.tmap", std::string(128, 'o')}, "",
       banner + "Error: File name longer than 127 characters!\n", 1, ""},
      {"UnwritableOutputFails", kNoSections, {"map.tmap", "."}, "",
       banner + "Read 0 sections, 0 measures, 0 beats\nError: Could not write file .!\n", 1, ""},
  };
}

class CommandLine : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLine, ExactOutputStatusAndFile) {
  const Case& c = GetParam();
  TempFolder folder;
  if (!c.map.empty()) WriteFile(folder.File("map.tmap"), c.map);
  if (!c.before.empty()) WriteFile(folder.File("out.txt"), c.before);
  RunResult result = RunBeatmarks(c.args, "", folder.path());
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(ReadFile(folder.File("out.txt")), c.after);
}

INSTANTIATE_TEST_SUITE_P(Runs, CommandLine, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLineRun, HelpExamplesWholeMapEndsWithBlankLine) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), kHelpExamples);
  RunResult result = RunBeatmarks({"map.tmap", "out.txt"}, "", folder.path());
  std::string text = ReadFile(folder.File("out.txt"));
  EXPECT_EQ(result.out, "Beatmarks 1.0\nRead 2 sections, 48 measures, 176 beats\n" + Saved(text));
  EXPECT_EQ(result.status, 0);
  // The stop default reaches one past the last measure: the list ends in an
  // empty line after measure 48's last beat, and both headers are there.
  EXPECT_NE(text.find("\nSection 1\tTempo 144.600\tBeats/Meas 4\tMeasures 32\n\nM 1\tB 1\t0.000 "
                      "sec\t0 smp\n"),
            std::string::npos);
  EXPECT_NE(text.find("\n\n\nSection 2\tTempo 152.000\tBeats/Meas 3\tMeasures 16\n\nM 33\tB 1\t"),
            std::string::npos);
  EXPECT_NE(text.find("M 48\tB 1\t"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 6), " smp\n\n");
}

TEST(CommandLineRun, ArgumentsOverrideMapSettings) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"),
            std::string(kHelpExamples) + "rate\t8000\nstart\t2\nstop\t2\ndiv\t4\n");
  RunBeatmarks({"map.tmap", "out.txt", "48000", "3", "4"}, "", folder.path());
  std::string text = ReadFile(folder.File("out.txt"));
  EXPECT_EQ(text.rfind("\nSample Rate\t48000\n\n\nSection 1\t", 0), 0u);
  EXPECT_NE(text.find("M 3\tB 1\t"), std::string::npos);
  EXPECT_NE(text.find("M 4\tB 1\t"), std::string::npos);
  EXPECT_EQ(text.find("M 5\t"), std::string::npos);
  EXPECT_NE(text.find("\t\t"), std::string::npos);  // divisions still 4, from the map
}

TEST(CommandLineRun, EmptyOutputNameIsAskedFor) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), kNoSections);
  RunResult asked = RunBeatmarks({"map.tmap", ""}, "typed.txt\n", folder.path());
  EXPECT_EQ(asked.out, "Beatmarks 1.0\nRead 0 sections, 0 measures, 0 beats\nEnter file to write data to\n" +
                           Saved(DefaultGrid(1)));
  EXPECT_EQ(asked.status, 0);
  EXPECT_EQ(ReadFile(folder.File("typed.txt")), DefaultGrid(1));

  RunResult ended = RunBeatmarks({"map.tmap", ""}, "", folder.path());
  EXPECT_EQ(ended.out, "Beatmarks 1.0\nRead 0 sections, 0 measures, 0 beats\nEnter file to write data to\n");
  EXPECT_EQ(ended.status, 1);
}

}  // namespace
}  // namespace beatmarks::testing

namespace beatmarks::testing {
namespace {

// Runs started together append whole lists, one after another.
TEST(CommandLineRun, ParallelAppendsNeverInterleave) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), kNoSections);
  const std::vector<std::string> args = {"map.tmap", "out.txt", "44100", "1", "150", "4"};
  RunBeatmarks({"map.tmap", "single.txt", "44100", "1", "150", "4"}, "", folder.path());
  const std::string list = ReadFile(folder.File("single.txt"));
  ASSERT_GT(list.size(), 60000u);
  std::vector<pid_t> children;
  for (int i = 0; i < 32; ++i) {
    pid_t child = ::fork();
    if (child == 0) {
      int quiet = ::open("/dev/null", O_WRONLY);
      ::dup2(quiet, STDOUT_FILENO);
      if (::chdir(folder.path().c_str()) != 0) ::_exit(127);
      ExecBeatmarks(args);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::string expected;
  for (int i = 0; i < 32; ++i) expected += list;
  EXPECT_TRUE(ReadFile(folder.File("out.txt")) == expected);
}

}  // namespace
}  // namespace beatmarks::testing
