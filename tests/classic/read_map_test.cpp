#include "classic/read_map.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "terminal/prompt_name.h"

namespace beatmarks {
namespace {

using testing::TempFolder;
using testing::WriteFile;

struct Loaded {
  ProgramState state;
  std::string report;
  MapReadOutcome outcome;
};

Loaded ReadFrom(const std::string& path) {
  Loaded l{};
  if (!CopyName(path.c_str(), l.state.mapFileName)) ADD_FAILURE() << "path too long";
  ::testing::internal::CaptureStdout();
  ProgramState& s = l.state;
  l.outcome = ReadMap(s.sectionCount, s.totalMeasures, s.totalBeats, s.tempo, s.measures,
                      s.beatsPerMeasure, s.mapFileName, s.sampleRate, s.divisions, true,
                      s.startMeasure, s.stopMeasure);
  l.report = ::testing::internal::GetCapturedStdout();
  return l;
}

Loaded ReadText(const std::string& text) {
  TempFolder folder;
  WriteFile(folder.File("map"), text);
  return ReadFrom(folder.File("map"));
}

struct Section {
  float tempo;
  std::int32_t beats, measures;
};

struct MapCase {
  const char* name;
  std::string text;
  std::vector<Section> sections;
  std::string report;
};

void PrintTo(const MapCase& c, std::ostream* os) { *os << c.name; }

class MapText : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapText, SectionsAndReport) {
  const MapCase& c = GetParam();
  Loaded l = ReadText(c.text);
  EXPECT_EQ(l.outcome, MapReadOutcome::kRead);
  EXPECT_EQ(l.report, c.report);
  ASSERT_EQ(l.state.sectionCount, static_cast<std::int32_t>(c.sections.size()));
  for (std::size_t i = 0; i < c.sections.size(); ++i) {
    EXPECT_EQ(l.state.tempo[i], c.sections[i].tempo) << i;
    EXPECT_EQ(l.state.beatsPerMeasure[i], c.sections[i].beats) << i;
    EXPECT_EQ(l.state.measures[i], c.sections[i].measures) << i;
  }
}

const MapCase kMapCases[] = {
    {"HelpExamples", "tmap\t144.6\t4\t32\ntmap\t152\t3\t16\n",
     {{144.6f, 4, 32}, {152.0f, 3, 16}}, "Read 2 sections, 48 measures, 176 beats\n"},
    {"CarriageReturns", "tmap\t144.6\t4\t32\r\ntmap\t152\t3\t16\r\n",
     {{144.6f, 4, 32}, {152.0f, 3, 16}}, "Read 2 sections, 48 measures, 176 beats\n"},
    {"NoteLinesAreSkipped", "My song\nverse:\ttmap\t90\t4\t8\n\t\n\nend\n", {{90.0f, 4, 8}},
     "Read 1 sections, 8 measures, 32 beats\n"},
    {"MissingValuesBorrowTheNextLine", "tmap\t120\ntmap\t60\t3\t2\n", {{120.0f, 60, 3}},
     "Read 1 sections, 3 measures, 180 beats\n"},
    {"MissingValuesAtTheEndCountZero", "tmap\t100", {{100.0f, 0, 0}},
     "Read 1 sections, 0 measures, 0 beats\n"},
    {"KeywordAloneAtTheEnd", "tmap\t90\t4\t1\ntmap", {{90.0f, 4, 1}, {0.0f, 0, 0}},
     "Read 2 sections, 1 measures, 4 beats\n"},
    {"KeywordWithSpaceIsNoKeyword", "tmap 120\t4\t2\n", {}, "Read 0 sections, 0 measures, 0 beats\n"},
    {"EmptyFile", "", {}, "Read 0 sections, 0 measures, 0 beats\n"},
    {"ZeroByteEndsTheText", std::string("tmap\t90\t4\t1\n") + '\0' + "tmap\t90\t4\t1\n", {{90.0f, 4, 1}},
     "Read 1 sections, 1 measures, 4 beats\n"},
    {"TrailingTextAndWhiteSpaceIgnored", "tmap\t 1.5e2bpm\t+3/4\t 7 bars\n", {{150.0f, 3, 7}},
     "Read 1 sections, 7 measures, 21 beats\n"},
    {"NoNumberGivesZero", "tmap\tfast\tsome\tmany\n", {{0.0f, 0, 0}},
     "Read 1 sections, 0 measures, 0 beats\n"},
    {"IntegersAreDecimalAndClamped", "tmap\t120\t010\t99999999999\n", {{120.0f, 10, INT32_MAX}},
     "Read 1 sections, 2147483647 measures, -10 beats\n"},
    {"TotalsWrapIn32Bits", "tmap\t120\t65536\t65536\ntmap\t120\t1\t2147483647\ntmap\t120\t1\t1\n",
     {{120.0f, 65536, 65536}, {120.0f, 1, 2147483647}, {120.0f, 1, 1}},
     "Read 3 sections, -2147418112 measures, -2147483648 beats\n"},
    {"ByteOrderMarkIsSkipped", "\xEF\xBB\xBFtmap\t90\t4\t2\n", {{90.0f, 4, 2}},
     "Read 1 sections, 2 measures, 8 beats\n"},
    {"ByteOrderMarkOnlyAtTheStart", "tmap\t90\t4\t2\n\xEF\xBB\xBFtmap\t80\t4\t2\n", {{90.0f, 4, 2}},
     "Read 1 sections, 2 measures, 8 beats\n"},
};

// The count line wraps as it always has; the totals and the stop default
// they give stay exact.
TEST(ReadMap, TotalsStayExactBeyond32Bits) {
  struct Case {
    const char* text;
    std::int64_t measures, beats;
    std::int32_t stop;
  };
  const Case cases[] = {
      {"tmap\t120\t4\t2147483647\ntmap\t120\t4\t1\n", 2147483648, 8589934592, INT32_MAX},
      {"tmap\t120\t4\t536870912\n", 536870912, 2147483648, 536870912},
      {"tmap\t120\t4\t-2147483648\ntmap\t120\t4\t-5\n", -2147483653, -8589934612, INT32_MIN},
  };
  for (const Case& c : cases) {
    Loaded l = ReadText(c.text);
    EXPECT_EQ(l.state.totalMeasures, c.measures) << c.text;
    EXPECT_EQ(l.state.totalBeats, c.beats) << c.text;
    ApplyStopDefault(l.state.stopMeasure, l.state.totalMeasures);
    EXPECT_EQ(l.state.stopMeasure, c.stop) << c.text;
  }
}

INSTANTIATE_TEST_SUITE_P(ReadMap, MapText, ::testing::ValuesIn(kMapCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadMap, KeepsAtMost510Sections) {
  std::string text;
  for (int i = 0; i < 600; ++i) text += "tmap\t" + std::to_string(100 + i) + "\t4\t1\n";
  Loaded l = ReadText(text);
  EXPECT_EQ(l.report,
            "Read 510 sections, 600 measures, 2400 beats\n"
            "Warning: only 510 sections are kept; the map has 600\n");
  EXPECT_EQ(l.state.sectionCount, 510);
  EXPECT_EQ(l.state.tempo[509], 609.0f);
  EXPECT_EQ(l.state.tempo[511], 120.0f);  // the last entry is never touched
}

TEST(ReadMap, SettingsLines) {
  struct Case {
    const char* text;
    std::int32_t rate, divisions, start, stop;
  };
  const Case cases[] = {
      // The last line of a keyword wins, wherever it stands between separators.
      {"rate\t22050\ndiv\t3\nstart\t5\nstop\t1\nnote\trate\t48000\r\nstop\t9 end\n", 48000, 3, 4,
       8},
      {"tmap\t144.6\t4\t32\nrate 8000\n", 44100, 1, 0, 0},  // untouched without their lines
      {"start\t-2147483648\nstop", 44100, 1, INT32_MAX, -1},    // wrapping; missing value is 0
  };
  for (const Case& c : cases) {
    Loaded l = ReadText(c.text);
    EXPECT_EQ(l.state.sampleRate, c.rate) << c.text;
    EXPECT_EQ(l.state.divisions, c.divisions) << c.text;
    EXPECT_EQ(l.state.startMeasure, c.start) << c.text;
    EXPECT_EQ(l.state.stopMeasure, c.stop) << c.text;
  }
}

TEST(ReadMap, TempoRoundsToDoubleThenToSingle) {
  // Just above the midpoint between 1 and the next float: as a double it is
  // the midpoint itself, which then rounds to even, 1.
  Loaded l = ReadText("tmap\t1.00000005960464477539062500000001\t4\t1\n");
  EXPECT_EQ(l.state.tempo[0], 1.0f);
}

TEST(ReadMap, UnreadableFilesChangeNothing) {
  TempFolder folder;
  WriteFile(folder.File("big"), "");
  ASSERT_EQ(::truncate(folder.File("big").c_str(), 64LL * 1024 * 1024 + 1), 0);
  struct Unreadable {
    std::string path;
    std::string report;
  };
  for (const Unreadable& u : {Unreadable{folder.File("missing"), "File not found!\n"},
                              Unreadable{folder.path(), "File not found!\n"},
                              Unreadable{folder.File("big"), "Error: Tempo map file too large (over 64 MiB)!\n"}}) {
    Loaded l = ReadFrom(u.path);
    EXPECT_EQ(l.outcome, MapReadOutcome::kNotRead) << u.path;
    EXPECT_EQ(l.report, u.report) << u.path;
    EXPECT_EQ(l.state.sectionCount, 0);
    EXPECT_EQ(l.state.sampleRate, 44100);
  }
}

TEST(ReadMap, FileOfExactly64MiBIsRead) {
  TempFolder folder;
  WriteFile(folder.File("zeros"), "tmap\t60\t2\t2\n");
  ASSERT_EQ(::truncate(folder.File("zeros").c_str(), 64LL * 1024 * 1024), 0);
  Loaded l = ReadFrom(folder.File("zeros"));
  EXPECT_EQ(l.report, "Read 1 sections, 2 measures, 4 beats\n");
}

}  // namespace
}  // namespace beatmarks
