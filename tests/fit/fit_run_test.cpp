// Beat lists the fit refuses, each in one line that says where, with nothing
// written; and the doubtful beats it keeps but warns about (--strict: as
// read, nothing mended).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "wav_bytes.h"

namespace beatmarks::testing {
namespace {

// A WAV file of 800 frames of silence at 8000 Hz with a cue point (id,
// sample, labl name) each; those from `second` on in a second cue chunk.
struct Cue {
  int id;
  std::uint32_t sample;
  std::string name;
};

std::string CueWav(const std::vector<Cue>& cues, std::size_t second = SIZE_MAX) {
  std::string adtl = "adtl";
  std::string cue[2];
  for (std::size_t i = 0; i < cues.size(); ++i) {
    const Cue& c = cues[i];
    cue[i < second ? 0 : 1] += Le(c.id, 4) + Le(c.sample, 4) + "data" + Le(0, 4) + Le(0, 4) + Le(c.sample, 4);
    std::string labl = Le(c.id, 4) + c.name + '\0';
    adtl += "labl" + Le(labl.size(), 4) + labl + (labl.size() % 2 ? "\0" : "");
  }
  std::vector<Chunk> chunks = {{"fmt ", PcmFormat(1, 8000, 16)}, {"data", std::string(1600, '\0')}};
  if (!cues.empty()) chunks.insert(chunks.end(), {{"cue ", Le(std::min(second, cues.size()), 4) + cue[0]}, {"LIST", adtl}});
  if (second < cues.size()) chunks.push_back({"cue ", Le(cues.size() - second, 4) + cue[1]});
  return BuildWav(chunks);
}

// Label track lines "t<TAB>t<TAB>name".
std::string Labels(const std::vector<std::pair<std::string, std::string>>& beats) {
  std::string text;
  for (const auto& [time, name] : beats) text += time + "\t" + time + "\t" + name + "\n";
  return text;
}

struct FitCase {
  const char* name;
  std::string file;   // beats.txt, or beats.wav for bytes of a WAV file
  std::string bytes;
  std::vector<std::string> lines;  // what follows the banner and the line on what was read
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Refused : public ::testing::TestWithParam<FitCase> {};

TEST_P(Refused, InOneLineAndNothingWritten) {
  const FitCase& c = GetParam();
  TempFolder folder;
  WriteFile(folder.File(c.file), c.bytes);
  RunResult r = RunBeatmarks({"--fit", "--strict", "-f", "csv", c.file, "out.csv"}, "", folder.path());
  EXPECT_EQ(r.status, 1);
  std::vector<std::string> want = {"Beatmarks 1.0"};
  want.insert(want.end(), c.lines.begin(), c.lines.end());
  EXPECT_EQ(LinesOf(r.err), want);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(FileExists(folder.File("out.csv")));
}

const FitCase kRefused[] = {
    {"Repeated", "beats.txt", "1\n2.5\n2.50\n", {"beatmarks: beats.txt:3: 2.50 does not come after 2.5"}},
    {"NotATime", "beats.txt", "1\n2\n2:3\n", {"beatmarks: beats.txt:3: '2:3' is not a time (times read: seconds such as 12.5, m:ss.fff, h:mm:ss.fff)"}},
    {"BeforeZero", "beats.txt", "-0.5\n1\n", {"beatmarks: beats.txt:1: -0.5 is before 0"}},
    {"OneBeat", "beats.txt", "1.5\n", {"beatmarks: beats.txt holds one beat: a fit needs two at least"}},
    {"NoBeats", "beats.txt", "\n", {"beatmarks: beats.txt holds no beats"}},
    {"TooManyDigits", "beats.txt", "1\n1.00000000000000000001\n",
     {"beatmarks: beats.txt:2: 1.00000000000000000001 has more digits than a time keeps (19, "
      "counting the decimals of the time with the most)"}},
    {"TooManyDigitsForEarlierTimes", "beats.txt", "12345678901234\n12345678901235.0000001\n",
     {"beatmarks: beats.txt:2: 12345678901235.0000001 has more digits than a time keeps (19, "
      "counting the decimals of the time with the most)"}},
    {"MeasureMissing", "beats.txt", Labels({{"1", "1.1"}, {"2", "1.2"}, {"3", "3.1"}}),
     {"beatmarks: beats.txt:3: 3.1 follows 1.2: measure 2 is missing"}},
    {"MeasuresMissing", "beats.txt", Labels({{"1", "1.1"}, {"2", "5.1"}}),
     {"beatmarks: beats.txt:2: 5.1 follows 1.1: measures 2 to 4 are missing"}},
    {"BeatMissing", "beats.txt", Labels({{"1", "2.1"}, {"2", "2.3"}}),
     {"beatmarks: beats.txt:2: 2.3 follows 2.1: beat 2.2 is missing"}},
    {"DownbeatMissing", "beats.txt", Labels({{"1", "1.4"}, {"2", "2.2"}}),
     {"beatmarks: beats.txt:2: 2.2 follows 1.4: beat 2.1 is missing"}},
    {"PositionsBackwards", "beats.txt", Labels({{"1", "1.2"}, {"2", "1.1"}}),
     {"beatmarks: beats.txt:2: 1.1 does not come after 1.2"}},
    {"PositionLost", "beats.txt", Labels({{"1", "1.1"}, {"2", "snare"}}),
     {"beatmarks: beats.txt:2: no position (M.B) where the beats before have one"}},
    {"PositionLate", "beats.txt", Labels({{"1", "count-in"}, {"2", "1.1"}}),
     {"beatmarks: beats.txt:2: a position where the beats before have none"}},
    {"Division", "beats.txt", Labels({{"1", "1.1.1"}, {"1.5", "1.1.2"}}),
     {"beatmarks: beats.txt:2: '1.1.2' is no beat: a division after a beat; give the beats alone"}},
    {"BeatZero", "beats.txt", Labels({{"1", "1.0"}, {"2", "1.1"}}),
     {"beatmarks: beats.txt:1: '1.0' is no beat: beats count from 1"}},
    {"CsvMeasureWithoutBeat", "beats.txt", "time,measure\r\n1,1\r\n2,1\r\n",
     {"beatmarks: beats.txt:1: the CSV header has a 'measure' column but no 'beat' column"}},
    {"CsvRowWithoutMeasure", "beats.txt", "time,measure,beat\n1,1,1\n\"2\",,2\n",
     {"beatmarks: beats.txt:3: the 'measure' field is empty"}},
    {"CsvRowWithoutPosition", "beats.txt", "time,measure,beat\n1,1,1\n2, ,\n",
     {"beatmarks: beats.txt:3: the 'measure' and 'beat' fields are empty"}},
    {"CsvRowWithoutBeat", "beats.txt", "time,measure,beat\n1,1,1\n2,1\n",
     {"beatmarks: beats.txt:3: the 'beat' field is empty"}},
    {"CsvPositionsOnQuotedLines", "beats.txt", "note,time,measure,beat\n\"a\nb\",1,1,1\nc,2,1,3\n",
     {"beatmarks: beats.txt:4: 1.3 follows 1.1: beat 1.2 is missing"}},
    // A WAV without cue points is a recording to hear; this one is silence.
    {"WavWithoutCuePoints", "beats.wav", CueWav({}),
     {"beatmarks: beats.wav: no beat heard in it (silence, noise, or sounds that do not recur)"}},
    {"WavCuePointsTogether", "beats.wav", CueWav({{1, 100, ""}, {7, 300, ""}, {2, 100, ""}}),
     {"beatmarks: beats.wav cue point 2: sample 100 does not come after sample 100"}},
    {"WavMeasureMissing", "beats.wav", CueWav({{1, 100, "1.1"}, {2, 200, "3.1"}}),
     {"beatmarks: beats.wav cue point 2: 3.1 follows 1.1: measure 2 is missing"}},
    {"WavCuePointsPastTheEnd", "beats.wav", CueWav({{1, 800, "1.1"}, {2, 4294967295, "1.2"}}),
     {"Warning: 2 cue points past the end of the audio data left out", "beatmarks: beats.wav holds no cue points"}},
    {"WavSecondCueChunk", "beats.wav", CueWav({{1, 100, "1.1"}, {2, 200, "1.3"}}, 1),
     {"beatmarks: beats.wav cue point 2: 1.3 follows 1.1: beat 1.2 is missing"}},
    {"RiffNotWave", "beats.wav", "RIFF" + Le(4, 4) + "AVI ", {"beatmarks: beats.wav: Not a WAV file"}},
};

INSTANTIATE_TEST_SUITE_P(Fit, Refused, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

class Doubtful : public ::testing::TestWithParam<FitCase> {};

TEST_P(Doubtful, KeptAndWarnedAbout) {
  const FitCase& c = GetParam();
  TempFolder folder;
  WriteFile(folder.File(c.file), c.bytes);
  RunResult r = RunBeatmarks({"--fit", "--strict", "-f", "csv", c.file, "out.csv"}, "", folder.path());
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> warnings;
  for (const std::string& line : LinesOf(r.err)) {
    if (line.rfind("Warning: ", 0) == 0) warnings.push_back(line.substr(9));
  }
  EXPECT_EQ(warnings, c.lines);
  EXPECT_TRUE(FileExists(folder.File("out.csv")));
}

std::string Steps(const std::vector<int>& hundredths) {
  std::string text;
  for (int h : hundredths) text += std::to_string(h / 100) + "." + std::to_string(h / 10 % 10) + std::to_string(h % 10) + "\n";
  return text;
}

// The warning on a beat: its interval and those before and after it, in seconds.
std::string Doubt(const std::string& beat, const std::string& at, const std::string& interval,
                  const std::string& before = "1", const std::string& after = "1") {
  auto s = [](const std::string& t) { return t + (t.find('.') == std::string::npos ? ".000000 s" : "0000 s"); };
  return "beat " + beat + " at " + s(at) + ": " + s(interval) + " to the next, more than 30% off the " +
         s(before) + " before and the " + s(after) + " after (a tap missed or one too many?)";
}

const FitCase kDoubtful[] = {
    {"MissedTapAfterPickup", "beats.txt",
     Labels({{"0", "0.4"}, {"1", "1.1"}, {"2", "1.2"}, {"4", "1.3"}, {"5", "1.4"}, {"6", "2.1"}}),
     {Doubt("1.2", "2", "2")}},
    {"ExtraTapOffCentre", "beats.txt", Steps({0, 100, 200, 300, 325, 400, 500, 600}),
     {Doubt("1.4", "3", "0.25", "1", "0.75")}},
    {"WavCuePointPastTheEnd", "beats.wav", CueWav({{1, 799, ""}, {2, 4294967295, ""}, {3, 0, ""}}, 2),
     {"1 cue point past the end of the audio data left out"}},
    {"ThirtyPercentIsNotDoubtful", "beats.txt", Steps({0, 100, 200, 330, 430, 530}), {}},
    {"JustPastThirtyPercent", "beats.txt", Steps({0, 100, 200, 331, 431, 531}), {Doubt("1.3", "2", "1.31")}},
    {"FirstAndLastIntervalsHaveOneNeighbour", "beats.txt", Steps({0, 300, 400, 500, 900}), {}},
    {"ManyAreCounted", "beats.txt",
     Steps({0, 100, 200, 400, 500, 600, 800, 900, 1000, 1200, 1300, 1400, 1600, 1700, 1800, 2000,
            2100, 2200, 2400, 2500, 2600, 2800, 2900, 3000, 3200, 3300}),
     {Doubt("1.3", "2", "2"), Doubt("2.2", "6", "2"), Doubt("3.1", "10", "2"), Doubt("3.4", "14", "2"),
      Doubt("4.3", "18", "2"), "3 more beats like these"}},
};

INSTANTIATE_TEST_SUITE_P(Fit, Doubtful, ::testing::ValuesIn(kDoubtful),
                         [](const auto& info) { return std::string(info.param.name); });

// START and STOP count as the positions number the measures (a pickup
// labelled 0 is measure 0) unless --first-measure says otherwise; one before
// the first is a usage error, found once the beats are read (after the banner).
TEST(Fit, RangeInTheNumbersOfThePositions) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  };
  const std::string pickup = Labels({{"0.5", "0.3"}, {"1", "0.4"}, {"1.5", "1.1"}, {"2", "1.2"}});
  const Case cases[] = {
      {{"-s", "0", "-e", "0", "pickup.txt"}, 0, "0.500000\t0.500000\t0.3\n1.000000\t1.000000\t0.4\n", ""},
      {{"-s", "1", "-e", "1", "--first-measure=4", "pickup.txt"}, 2, "",
       "beatmarks: measure 1 is before the first measure, 4\nTry 'beatmarks --help'.\n"},
      {{"-s", "0", "plain.txt"}, 2, "",
       "Beatmarks 1.0\nbeatmarks: measure 0 is before the first measure, 1\nTry 'beatmarks --help'.\n"},
  };
  TempFolder folder;
  WriteFile(folder.File("pickup.txt"), pickup);
  WriteFile(folder.File("plain.txt"), "0.5\n1\n");
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--fit", "-f", "labels"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("-");
    RunResult r = RunBeatmarks(args, "", folder.path());
    EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
    EXPECT_EQ(r.out, c.out);
    if (c.status != 0) {
      EXPECT_EQ(r.err, c.err);
    }
  }
}

// The summary's tempos are the exact ones rounded once, a half up: a beat of
// 9 ns is 6666666666.67 a minute (a float made it 6666666496.00), one of
// 3.84 s exactly 15.625 (a float's tie went to 15.62).
TEST(Fit, SummaryTemposFromTheExactTempo) {
  const std::string header = "Measure  Start                     Tempo (min\u2013mean\u2013max)  Meter    Beats\n";
  const struct {
    const char* taps;
    std::string out;
  } cases[] = {
      {"0\n0.000000009\n", header + "      1  0:00.000 (0.000000000 s)  6666666666.67         4 beats      2\n\n"
                                     "Total 0:00.000 (0.000000018 s), 2 beats\n"},
      {"0\n3.84\n7.68\n", header + "      1  0:00.000 (0.000000000 s)  15.63                 4 beats      3\n\n"
                                    "Total 0:11.520 (11.520000000 s), 3 beats\n"},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    WriteFile(folder.File("taps.txt"), c.taps);
    RunResult r = RunBeatmarks({"--fit", "-f", "summary", "taps.txt", "-"}, "", folder.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
  }
}

// A --meter the places' first measure contradicts is refused once the beats
// are read, naming it; one it agrees with is applied (6/8: dotted-quarter
// beats), later measures changing it as the places say.
TEST(Fit, MeterAgainstThePlaces) {
  const std::string refused = "beatmarks: --meter=";
  const struct {
    const char* meter;
    std::vector<std::pair<std::string, std::string>> beats;
    std::string err;  // empty: written
  } cases[] = {
      {"3", {{"1", "1.1"}, {"2", "1.2"}, {"3", "1.3"}, {"4", "1.4"}, {"5", "2.1"}, {"6", "2.2"}, {"7", "3.1"}},
       refused + "3 disagrees with the places: measure 1 has 4 beats, not 3\n"},
      {"6/8", {{"1", "1.1"}, {"2", "1.2"}, {"3", "1.3"}, {"4", "2.1"}},
       refused + "6/8 disagrees with the places: measure 1 has 3 beats, not the 2 of 6/8\n"},
      {"4", {{"1", "0.2"}, {"2", "0.3"}, {"3", "1.1"}}, refused + "4 disagrees with the places: measure 0 has 3 beats, not 4\n"},
      {"4", {{"1", "1.1"}, {"2", "1.2"}, {"3", "1.3"}, {"4", "1.4"}, {"5", "2.1"}, {"6", "2.2"}, {"7", "3.1"}}, ""},
      {"6/8", {{"1", "0.2"}, {"2", "1.1"}, {"3", "1.2"}, {"4", "2.1"}}, ""},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    WriteFile(folder.File("taps.txt"), Labels(c.beats));
    const RunResult r = RunBeatmarks({"--fit", std::string("--meter=") + c.meter, "-f", "midi", "taps.txt", "map.mid"},
                                     "", folder.path());
    EXPECT_EQ(r.status, c.err.empty() ? 0 : 2) << c.meter << r.out << r.err;
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, "Beatmarks 1.0\n" + c.err + "Try 'beatmarks --help'.\n");
    }
    EXPECT_EQ(FileExists(folder.File("map.mid")), c.err.empty());
  }
}

}  // namespace
}  // namespace beatmarks::testing
