// Whole interactive sessions: words typed on standard input, the exact
// standard output, the exit status and the files written.
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

struct Settings {
  int rate = 44100;
  const char* tempo = "120.000";
  int beats = 4;
  long long start = 1, stop = 1;
  int divisions = 1;
  std::string file = "";
};

std::string List(const Settings& s = {}) {
  return "\nInput Settings:\n"
         "'r' to change sample rate (" + std::to_string(s.rate) + ")\n"
         "'t' to change tempo (" + s.tempo + ")\n"
         "'b' to change beats per measure (" + std::to_string(s.beats) + ")\n"
         "'m' to read tempo map\n"
         "\nOutput Settings:\n"
         "'i' to change start measure (" + std::to_string(s.start) + ")\n"
         "'o' to change stop measure (" + std::to_string(s.stop) + ")\n"
         "'d' to change divisions per beat (" + std::to_string(s.divisions) + ")\n"
         "'p' to print to screen\n"
         "'w' to write beatmarks to beginning of file\n"
         "'a' to append beatmarks to existing file\n"
         "'f' to change output filename: " + s.file + "\n"
         "\n'l' to toggle this list on/off\n"
         "'h' help\n"
         "'q' to quit\n";
}

const char kHelp[] =
    "Help:\n"
    "To toggle the command list type 'l'\n"
    "\nOptional command line arguments:\n"
    "1st = tempo map filename\n"
    "2nd = output filename\n"
    "3rd = sample rate\n"
    "4th = measure start\n"
    "5th = measure stop\n"
    "6th = divisions\n"
    "With both filenames specified (arguments 1 and 2), the\n"
    "program will append data to or create the output file and exit.\n"
    "\nSetting up tempo map file:\n"
    "Begin a line with a command, then tab, then enter data.\n"
    "Commands:\n"
    "  rate\tfor sample rate\n"
    "  div\tfor divisions per beat\n"
    "  start\tfor start measure\n"
    "  stop\tfor stop measure\n"
    "  tmap\tfor a section defined by 3 parameters as follows:\n"
    "\ttempo, beats per measure, and measures in that section.\n"
    "\tAll are tab separated.  Examples:\n"
    "144.6 bpm in 4/4 for 32 measures:\n"
    "tmap\t144.6\t4\t32\n"
    "152 bpm in 3/4 for 16 measures:\n"
    "tmap\t152\t3\t16\n"
    "\n"
    "512 different sections can be specified.\n";

const std::string kBanner = "Beatmarks 1.0\n";
const std::string kWorked = DefaultGrid(1);
// map.tmap (60 bpm, 1 beat a measure, 2 measures) with the stop default.
const std::string kSixtyTwo =
    "\nSample Rate\t44100\n\nSection 1\tTempo 60.000\tBeats/Meas 1\tMeasures 2\n\n"
    "M 1\tB 1\t0.000 sec\t0 smp\n\nM 2\tB 1\t1.000 sec\t44100 smp\n\n";
const char kCut[] = "Warning: text longer than 65535 characters, list cut short\n";

std::string TwoDivisions() {
  return "\nSample Rate\t44100\n\nSection 1\tTempo 120.000\tBeats/Meas 4\tMeasures 1\n\n"
         "M 1\tB 1\t0.000 sec\t0 smp\n\t\t0.250 sec\t11025 smp\n"
         "\tB 2\t0.500 sec\t22050 smp\n\t\t0.750 sec\t33075 smp\n"
         "\tB 3\t1.000 sec\t44100 smp\n\t\t1.250 sec\t55125 smp\n"
         "\tB 4\t1.500 sec\t66150 smp\n\t\t1.750 sec\t77175 smp\n";
}

struct Session {
  const char* name;
  std::vector<std::string> args;
  std::string typed;
  std::string out;
  int status = 0;
};

void PrintTo(const Session& c, std::ostream* os) { *os << c.name; }

std::vector<Session> Sessions() {
  Settings s8;
  s8.stop = 8;
  Settings s5;
  s5.start = 5;
  Settings d2;
  d2.divisions = 2;
  Settings r;
  r.rate = 32000;
  Settings big;
  big.stop = 3001;
  return {
      {"PrintAtStart", {}, "p\nq\n", kBanner + List() + kWorked + List()},
      {"EndOfInputEndsLikeQuit", {}, "p", kBanner + List() + kWorked + List()},
      {"StopEight", {}, "o 8 p q",
       kBanner + List() + "Enter stop measure\n" + List(s8) + DefaultGrid(8) + List(s8)},
      {"EmptyRangeFallsBackToMeasureOne", {}, "i\n5\np\nq\n",
       kBanner + List() + "Enter start measure\n" + List(s5) + kWorked + List()},
      {"ToggleList", {}, "l h l q", kBanner + List() + kHelp + List()},
      {"HelpChangesNothing", {}, "h q", kBanner + List() + kHelp + List()},
      {"TwoDivisions", {}, "d 2 p q",
       kBanner + List() + "Enter divisions per beat\n" + List(d2) + TwoDivisions() + List(d2)},
      {"TempoZeroEndsProgram", {}, "t 0 p q",
       kBanner + List() + "Enter tempo (beats per minute)\n" + List(Settings{.tempo = "0.000"}) +
           "Error: Tempo must be greater than zero! (section 1)\n",
       1},
      {"HexadecimalRate", {}, "r 0x7d00 q",
       kBanner + List() + "Enter sample rate (samples per second\n" + List(r)},
      {"MissingMapThenMeasureOneOnly", {}, "m none.tmap o 8 p q",
       kBanner + List() + "Enter name of tempo map file\nFile not found!\n" + List() +
           "Enter stop measure\n" + List(s8) + kWorked + List()},
      {"NotANumberIsTheNextCommand", {}, "o xyz q",
       kBanner + List() + "Enter stop measure\n" + List() + List()},
      {"NumberPrefixThenCommand", {}, "o 8p q",
       kBanner + List() + "Enter stop measure\n" + List(s8) + DefaultGrid(8) + List(s8)},
      {"EndOfInputAtPrompt", {}, "o", kBanner + List() + "Enter stop measure\n" + List()},
      {"LongWordIsNoCommand", {}, "pppppppp ppppppp q", kBanner + List() + List() + List()},
      {"CountsBelowOneRefused", {}, "d 0 b -3 q",
       kBanner + List() + "Enter divisions per beat\n"
                          "Error: Divisions per beat must be greater than zero!\n" +
           List() + "Enter beats per measure\nError: Beats per measure must be greater than zero!\n" +
           List()},
      {"LongFileNameRefused", {}, "f " + std::string(128, 'x') + " q",
       kBanner + List() + "Enter filename to save to\n"
                          "Error: File name longer than 127 characters!\n" + List()},
      {"CutListWarns", {}, "o 3001 p q",
       kBanner + List() + "Enter stop measure\n" + List(big) + CutToLimit(DefaultGrid(3001)) +
           kCut + List(big)},
      {"MapGivenOnCommandLine", {"map.tmap"}, "p q",
       kBanner + "Read 1 sections, 2 measures, 2 beats\n" +
           List(Settings{.tempo = "60.000", .beats = 1, .stop = 3}) +
           kSixtyTwo +
           List(Settings{.tempo = "60.000", .beats = 1, .stop = 3})},
      {"ReadMapAtPrompt", {}, "m map.tmap p q",
       kBanner + List() + "Enter name of tempo map file\nRead 1 sections, 2 measures, 2 beats\n" +
           List(Settings{.tempo = "60.000", .beats = 1, .stop = 3}) + kSixtyTwo +
           List(Settings{.tempo = "60.000", .beats = 1, .stop = 3})},
      {"UnwritableFile", {}, "w . q",
       kBanner + List() + "Enter file to write data to\nError: Could not write file .!\n" +
           List(Settings{.file = "."})},
  };
}

class ConsoleSession : public ::testing::TestWithParam<Session> {};

TEST_P(ConsoleSession, ExactOutputAndStatus) {
  const Session& s = GetParam();
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t60\t1\t2\n");
  RunResult result = RunBeatmarks(s.args, s.typed, folder.path());
  EXPECT_EQ(result.out, s.out);
  EXPECT_EQ(result.status, s.status);
}

INSTANTIATE_TEST_SUITE_P(Typed, ConsoleSession, ::testing::ValuesIn(Sessions()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConsoleFiles, WriteAlwaysAsksThenReplacesAndAppendAdds) {
  TempFolder folder;
  WriteFile(folder.File("out.txt"), "old content\n");
  Settings named;
  named.file = "out.txt";
  const std::string saved = "Saved " + std::to_string(kWorked.size()) + " bytes\n";
  RunResult result =
      RunBeatmarks({}, "f out.txt w out.txt a\nout.txt\nq\n", folder.path());
  EXPECT_EQ(result.out, kBanner + List() + "Enter filename to save to\n" + List(named) +
                            "Enter file to write data to\n" + saved + List(named) +
                            "Enter file to write data to\n" + saved + List(named));
  EXPECT_EQ(ReadFile(folder.File("out.txt")), kWorked + kWorked);
}

TEST(ConsoleFiles, EndOfInputAtFileNameWritesNothing) {
  TempFolder folder;
  RunResult result = RunBeatmarks({}, "w", folder.path());
  EXPECT_EQ(result.out, kBanner + List() + "Enter file to write data to\n" + List());
  EXPECT_EQ(result.status, 0);
}

TEST(ConsoleFiles, CutListSavedWithWarning) {
  TempFolder folder;
  const std::string text = CutToLimit(DefaultGrid(3001));
  RunResult result = RunBeatmarks({}, "o 3001 a big.txt q", folder.path());
  EXPECT_NE(result.out.find("Saved " + std::to_string(text.size()) + " bytes\n" + kCut),
            std::string::npos);
  EXPECT_EQ(ReadFile(folder.File("big.txt")), text);
}

}  // namespace
}  // namespace beatmarks::testing

namespace beatmarks::testing {
namespace {

// Ranges and tempos whose handling once went wrong: what the list must and
// must not contain.
TEST(ConsoleLists, RangesAndTempoDigits) {
  struct Case {
    const char* map;
    std::string typed;
    std::vector<std::string> present, absent;
  };
  const std::string longTempo =
      "t 1.000000059604644775390625" + std::string(200, '0') + "1 p q";
  const Case cases[] = {
      // A single-measure range without a map lists that measure.
      {"", "l i 6 o 6 p q", {"M 6\tB 1\t10.000 sec"}, {"M 1\t", "M 7\t"}},
      // A range whose beat count passes 32 bits is no empty range.
      {"", "l o 2147483647 p q", {"M 1\t", "M 2\t"}, {}},
      {"tmap\t120\t4\t536870912\n", "l m map.tmap i 5 o 6 p q", {"M 5\t", "M 6\t"}, {"M 1\t"}},
      // A digit far past what a float holds still decides the rounding.
      {"", "l " + longTempo, {"\tB 2\t60.000 sec\t2645999 smp\n"}, {}},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    WriteFile(folder.File("map.tmap"), c.map);
    RunResult result = RunBeatmarks({}, c.typed, folder.path());
    for (const std::string& text : c.present) {
      EXPECT_NE(result.out.find(text), std::string::npos) << c.typed << " lacks " << text;
    }
    for (const std::string& text : c.absent) {
      EXPECT_EQ(result.out.find(text), std::string::npos) << c.typed << " has " << text;
    }
  }
}

// Standard input left non-blocking by whoever started the program is waited
// for, not taken as its end.
TEST(ConsoleInput, NonBlockingInputIsWaitedFor) {
  TempFolder folder;
  int feed[2];
  ASSERT_EQ(::pipe(feed), 0);
  pid_t writer = ::fork();
  if (writer == 0) {
    ::close(feed[0]);
    ::usleep(200000);
    ssize_t ignored = ::write(feed[1], "l p q", 5);
    (void)ignored;
    ::_exit(0);
  }
  ::close(feed[1]);
  RunResult result = RunWith({{}, "", folder.path(), "", [&] {
                                ::dup2(feed[0], 0);
                                ::fcntl(0, F_SETFL, ::fcntl(0, F_GETFL) | O_NONBLOCK);
                              }});
  ::close(feed[0]);
  ::waitpid(writer, nullptr, 0);
  EXPECT_NE(result.out.find(kWorked), std::string::npos);
  EXPECT_EQ(result.status, 0);
}

}  // namespace
}  // namespace beatmarks::testing
