// Beat lists as people write them: the forms read fit as the plain ones do,
// and the mistakes (milliseconds, a decimal comma) are refused in one line
// that names the file, with nothing written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

// Nine beats of 4/4 from a pickup 0.4, about 0.5 s apart: a label track
// whose places `place` writes from measure and beat, or a list.
std::string Taps(std::string (*place)(int, int), bool labels = true) {
  std::string text;
  for (int k = 0; k < 9; ++k) {
    const int h = 50 * k + k % 3;  // hundredths
    const std::string t = std::to_string(h / 100) + "." + std::to_string(h / 10 % 10) + std::to_string(h % 10);
    const int beat = (k + 3) % 4 + 1, measure = (k + 3) / 4;
    text += labels ? t + "\t" + t + "\t" + place(measure, beat) + "\n" : t + "\n";
  }
  return text;
}

std::string Dotted(int m, int b) { return std::to_string(m) + "." + std::to_string(b); }
std::string Colon(int m, int b) { return std::to_string(m) + ":" + std::to_string(b); }
std::string Bar(int m, int b) { return "Bar " + Dotted(m, b); }
std::string BarColon(int m, int b) { return "bar" + Colon(m, b); }

struct FitRun {
  int status;
  std::string said, csv;  // the messages, and what was written
};

FitRun Fit(const std::string& file, const std::string& bytes, const std::vector<std::string>& options = {}) {
  TempFolder folder;
  WriteFile(folder.File(file), bytes);
  std::vector<std::string> args = {"--fit", "-f", "csv"};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), {file, "out.csv"});
  RunResult r = RunBeatmarks(args, "", folder.path());
  const std::string out = folder.File("out.csv");
  return {r.status, r.err, FileExists(out) ? ReadFile(out) : "(none)"};
}

// Each form, fitted, gives the bytes the plain form gives.
TEST(FitInput, FormsFitAsThePlainOnes) {
  const FitRun placed = Fit("taps.txt", Taps(Dotted));
  ASSERT_EQ(placed.status, 0) << placed.said;
  for (auto place : {Colon, Bar, BarColon}) {
    const FitRun r = Fit("taps.txt", Taps(place));
    EXPECT_EQ(r.said, placed.said);
    EXPECT_EQ(r.csv, placed.csv) << Taps(place);
  }
  const std::string list = Taps(Dotted, false);
  const FitRun plain = Fit("taps.txt", list, {"--pickup=1"});
  ASSERT_EQ(plain.status, 0) << plain.said;
  std::string csv = "Time (s),note\n";
  for (std::size_t at = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1) {
    csv += list.substr(at, end - at) + ",x\n";
  }
  for (const std::string& form : {"Taps\n\n" + list, "onset\n" + list, csv}) {
    const FitRun r = Fit("taps.txt", form, {"--pickup=1"});
    EXPECT_EQ(r.said, plain.said) << form;
    EXPECT_EQ(r.csv, plain.csv) << form;
  }
}

std::string Every(double seconds, int count) {
  std::string text;
  for (int k = 0; k < count; ++k) text += std::to_string(k * seconds) + "\n";
  return text;
}

TEST(FitInput, MistakesRefusedInOneLine) {
  struct Case {
    std::string file, bytes, line;
  };
  const std::string ms = ": the times look like milliseconds (a median of ";
  const Case cases[] = {
      {"taps.txt", Every(612, 8), "taps.txt" + ms + "612 s between beats); give seconds"},
      {"taps.txt", "0\n1\n31\n61.25\n", "taps.txt" + ms + "30 s between beats); give seconds"},
      {"taps.txt", "0\n20.0001\n40.0002\n", "taps.txt" + ms + "20.0001 s between beats); give seconds"},
      {"taps.txt", "0\n20\n40\n", ""},
      {"taps.txt", "0\n1\n2\n32\n62\n", ""},
      {"taps.csv", "time,ms\n0.612,612\n1.2,1200\n", ""},
      {"taps.csv", "Millis,label\n612,1.1\n1224,1.2\n", ""},
      {"taps.txt", "0\n0,749\n", "taps.txt:2: '0,749' has a decimal comma; write 0.749"},
      {"taps.csv", "time\n0,5\n1,0\n", "taps.csv:2: '0,5' has a decimal comma; write 0.5"},
      {"taps.txt", "0\t0\t1:1\n1\t1\t1:0\n", "taps.txt:2: '1:0' is no beat: beats count from 1"},
      {"taps.txt", "0\t0\tBar 1.1\n1\t1\t2.1\n", ""},
  };
  for (const Case& c : cases) {
    for (const char* strict : {"--strict", "--pickup=0"}) {
      const FitRun r = Fit(c.file, c.bytes, {strict});
      if (c.line.empty()) {
        EXPECT_EQ(r.status, 0) << c.bytes << r.said;
        continue;
      }
      EXPECT_EQ(r.status, 1) << c.bytes;
      EXPECT_EQ(r.said, "Beatmarks 1.0\nbeatmarks: " + c.line + "\n") << c.bytes;
      EXPECT_EQ(r.csv, "(none)") << c.bytes;
    }
  }
}

// Standard input has a name too, for --fit and for --locate.
TEST(FitInput, StandardInputNamed) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t2\n");
  RunResult r = RunBeatmarks({"--fit", "-f", "csv", "-", "out.csv"}, "0\n0,5\n", folder.path());
  EXPECT_EQ(r.err, "Beatmarks 1.0\nbeatmarks: standard input:2: '0,5' has a decimal comma; write 0.5\n");
  r = RunBeatmarks({"-f", "csv", "--locate=-", "map.tmap", "out.csv"}, "ms\nx\n", folder.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("beatmarks: standard input:2: 'x' is not a time"), std::string::npos) << r.err;
  EXPECT_FALSE(FileExists(folder.File("out.csv")));
}

}  // namespace
}  // namespace beatmarks::testing
