// Files of times (--locate) and beats (--fit) and MIDI bounds: each refusal
// names the file or the value and why, and nothing is written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "wav_bytes.h"

namespace beatmarks::testing {
namespace {

const std::string kBanner = "Beatmarks 1.0\n";
const std::string kRead = "Read 1 sections, 2 measures, 8 beats\n";

// Files of times and beats name the file and the reason they were not read;
// pipes and standard input are read. A FIFO without a writer reads as empty.
TEST(RunMessages, TimesAndBeatsFiles) {
  struct Case {
    const char* name;
    std::string file;  // TIMES, or BEATS with `fit`
    bool fit;
    std::string input, said;
    int status;
  };
  const std::string locate = kRead + "beatmarks: ", fit = "beatmarks: ";
  const std::string cues = BuildWav({{"fmt ", PcmFormat(1, 8000, 16)}, {"data", std::string(1600, '\0')},
                                     {"cue ", Le(2, 4) + Le(1, 4) + Le(100, 4) + "data" + Le(0, 8) + Le(100, 4) +
                                                  Le(2, 4) + Le(300, 4) + "data" + Le(0, 8) + Le(300, 4)}});
  const Case cases[] = {
      {"times missing", "missing.txt", false, "", locate + "missing.txt: No such file or directory\n", 1},
      {"times a folder", ".", false, "", locate + ".: is a folder\n", 1},
      {"times a device", "/dev/zero", false, "", locate + "/dev/zero: not a file or a pipe\n", 1},
      {"times over 64 MiB", "big.txt", false, "", kRead + "Saved 181 bytes\n", 0},
      {"times a FIFO without a writer", "fifo", false, "", kRead + "beatmarks: fifo holds no times\n", 1},
      {"times a pipe", "/dev/stdin", false, "0.5\n", kRead + "Saved 133 bytes\n", 0},
      {"beats missing", "missing.txt", true, "", fit + "missing.txt: No such file or directory\n", 1},
      {"beats a folder", ".", true, "", fit + ".: is a folder\n", 1},
      {"beats over 64 MiB", "big.txt", true, "", "Read 2 beats in 1 measure, fitted by beat\nSaved 94 bytes\n", 0},
      {"beats from standard input", "-", true, "0\n0.5\n", "Read 2 beats in 1 measure, fitted by beat\nSaved 94 bytes\n", 0},
      {"cue points from a pipe", "/dev/stdin", true, cues,
       "Read 2 beats from cue points at 8000 Hz in 1 measure, fitted by beat\nSaved 94 bytes\n", 0},
  };
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t2\n");
  // Times (or beats) 0 and 0.5, then blank lines to past 64 MiB.
  std::string big = "0\n0.5\n";
  for (const std::string blanks = std::string(1023, ' ') + "\n"; big.size() <= (64 << 20);) big += blanks;
  WriteFile(folder.File("big.txt"), big);
  big.clear();
  ASSERT_EQ(::mkfifo(folder.File("fifo").c_str(), 0600), 0);
  for (const Case& c : cases) {
    const std::vector<std::string> args = c.fit ? std::vector<std::string>{"--fit", "-f", "csv", c.file, "out.csv"}
                                                : std::vector<std::string>{"-f", "csv", "--locate=" + c.file,
                                                                           "map.tmap", "out.csv"};
    RunResult r = RunWith({args, c.input, folder.path(), "", [] { alarm(20); }});
    EXPECT_EQ(r.err, kBanner + c.said) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(FileExists(folder.File("out.csv")), c.status == 0) << c.name;
    std::remove(folder.File("out.csv").c_str());
  }
}

// Map files keep their limit of 64 MiB (a sparse file, refused by its size).
TEST(RunMessages, MapOver64MiBRefused) {
  TempFolder folder;
  WriteFile(folder.File("big.tmap"), "tmap\t120\t4\t2\n");
  ASSERT_EQ(::truncate(folder.File("big.tmap").c_str(), (64 << 20) + 1), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"big.tmap", "out.csv"},
                                                {"-f", "csv", "big.tmap", "out.csv"},
                                                {"-f", "csv", "--locate=big.tmap", "big.tmap", "out.csv"}}) {
    RunResult r = RunBeatmarks(args, "", folder.path());
    const std::string said = kBanner + (args.size() == 2 ? "Error: " : "beatmarks: ") +
                             "Tempo map file too large (over 64 MiB)!\n";
    EXPECT_EQ(args.size() == 2 ? r.out : r.err, said) << args.size();
    EXPECT_EQ(args.size() == 2 ? r.err : r.out, "") << args.size();
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(FileExists(folder.File("out.csv")));
  }
}

// MIDI tempos and drift bounds out of range say so in numbers that show it.
TEST(RunMessages, MidiBoundsShownOutside) {
  TempFolder folder;
  WriteFile(folder.File("fast.tmap"), "tmap\t6.0000001e7\t4\t1\n");
  RunResult r = RunBeatmarks({"-f", "midi", "fast.tmap", "out.mid"}, "", folder.path());
  EXPECT_EQ(r.err, kBanner + "Read 1 sections, 1 measures, 4 beats\nbeatmarks: fast.tmap: measure 1: a tempo of "
                             "0.00000099999998 s a quarter note, out of what a MIDI file holds (0.000001 to 16.777215 s)\n");
  for (const char* drift : {"0", "0.000000000999", "-1"}) {
    r = RunBeatmarks({"-f", "midi", std::string("--max-drift=") + drift, "fast.tmap", "out.mid"}, "", folder.path());
    EXPECT_EQ(r.err, "beatmarks: invalid largest drift '" + std::string(drift) +
                         "' (seconds, a decimal number of 0.000000001 or more)\nTry 'beatmarks --help'.\n");
    EXPECT_EQ(r.status, 2) << drift;
  }
  EXPECT_FALSE(FileExists(folder.File("out.mid")));
}

}  // namespace
}  // namespace beatmarks::testing
