#include "classic/display.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "reference_grid.h"
#include "terminal/output.h"

namespace beatmarks {
namespace {

struct GridCase {
  ProgramState state;
  bool cut = false;

  std::string Run() {
    Display(state.sectionCount, state.tempo, state.measures, state.beatsPerMeasure,
            state.sampleRate, state.startMeasure, state.stopMeasure, state.divisions,
            state.outText, cut);
    return state.outText.data();
  }
  void AddSection(float tempo, std::int32_t beats, std::int32_t measures) {
    int i = state.sectionCount++;
    state.tempo[i] = tempo;
    state.beatsPerMeasure[i] = beats;
    state.measures[i] = measures;
  }
};

TEST(Display, WithoutMapOneSectionReachesTheStop) {
  for (std::int32_t stop : {0, 2}) {
    GridCase s;
    s.state.stopMeasure = stop;
    EXPECT_EQ(s.Run(), testing::DefaultGrid(stop + 1));
    EXPECT_FALSE(s.cut);
    EXPECT_EQ(s.state.measures[0], stop + 1);
    EXPECT_EQ(s.state.sectionCount, 0);
  }
}

TEST(Display, EmptyAndNegativeSectionsAreSkipped) {
  GridCase s;
  s.AddSection(120.0f, 1, 1);
  s.AddSection(60.0f, 0, 0);   // zero beats pass: the section has no measures
  s.AddSection(60.0f, 3, -5);
  s.AddSection(240.0f, 1, 1);
  s.state.stopMeasure = 5;
  EXPECT_EQ(s.Run(),
            "\nSample Rate\t44100\n"
            "\nSection 1\tTempo 120.000\tBeats/Meas 1\tMeasures 1\n\nM 1\tB 1\t0.000 sec\t0 smp\n\n"
            "\nSection 4\tTempo 240.000\tBeats/Meas 1\tMeasures 1\n\nM 2\tB 1\t0.500 sec\t22050 smp\n\n");
}

TEST(Display, NegativeRateShowsSignedButComputesUnsigned) {
  GridCase s;
  s.state.sampleRate = -1;
  std::string text = s.Run();
  EXPECT_EQ(text.rfind("\nSample Rate\t-1\n", 0), 0u);
  EXPECT_NE(text.find("\tB 2\t0.500 sec\t2147483647 smp\n"), std::string::npos);
}

TEST(Display, HugeSamplePositionsAreHeldAtTheLimit) {
  // 15 * 2^-61 beats per minute is one beat each 2^63 seconds exactly.
  GridCase s;
  s.state.tempo[0] = std::ldexp(15.0f, -61);
  s.state.sampleRate = 1;
  std::string text = s.Run();
  EXPECT_NE(text.find("\tB 2\t9223372036854775808.000 sec\t9223372036854775807 smp\n"),
            std::string::npos);
  EXPECT_NE(text.find("M 1\tB 1\t0.000 sec\t0 smp\n"), std::string::npos);

  // The smallest tempo: the whole time is printed, however long.
  s.state.tempo[0] = std::ldexp(1.0f, -149);
  s.state.sampleRate = 44100;
  text = s.Run();
  char expected[512];
  std::snprintf(expected, sizeof expected, "\tB 4\t%.3f sec\t9223372036854775807 smp\n",
                3 * (60.0 / static_cast<double>(std::ldexp(1.0f, -149))));
  EXPECT_NE(text.find(expected), std::string::npos);
}

TEST(Display, TextIsCutAfterItsLastWholeLine) {
  for (int measures : {2000, 2600, 3001}) {
    GridCase s;
    s.state.stopMeasure = measures - 1;
    std::string full = testing::DefaultGrid(measures);
    std::string text = s.Run();
    EXPECT_EQ(text, testing::CutToLimit(full)) << measures;
    EXPECT_EQ(s.cut, full.size() > 65535) << measures;
    EXPECT_LE(text.size(), 65535u);
  }
}

TEST(Display, DefaultSectionLengthWrapsWithStop) {
  GridCase s;
  s.state.stopMeasure = INT32_MAX;
  s.state.startMeasure = 5;
  EXPECT_EQ(s.Run(), "\nSample Rate\t44100\n");
  EXPECT_EQ(s.state.measures[0], INT32_MIN);
}

// Display refuses the map with one line and returns false; the caller ends
// the program (the whole runs test the status).
TEST(Display, UnwalkableSettingsAreRefusedWithOneLine) {
  struct Bad {
    float tempo2;
    std::int32_t beats2, measures2, divisions;
    const char* line;
  };
  const Bad cases[] = {
      {0.0f, 4, 2, 1, "Error: Tempo must be greater than zero! (section 2)\n"},
      {-1.0f, 4, 2, 1, "Error: Tempo must be greater than zero! (section 2)\n"},
      {INFINITY, 4, 2, 1, "Error: Tempo must be a finite number! (section 2)\n"},
      {NAN, 4, 2, 1, "Error: Tempo must be a finite number! (section 2)\n"},
      {120.0f, 0, 2, 1, "Error: Beats per measure must be greater than zero! (section 2)\n"},
      {120.0f, 4, 2, 0, "Error: Divisions per beat must be greater than zero!\n"},
      {0.0f, 4, 0, 1, "Error: Tempo must be greater than zero! (section 2)\n"},
  };
  for (const Bad& b : cases) {
    GridCase s;
    s.AddSection(120.0f, 4, 1);
    s.AddSection(b.tempo2, b.beats2, b.measures2);
    s.state.divisions = b.divisions;
    std::FILE* messages = std::tmpfile();
    SetTerminalOutput(messages);
    bool walked = Display(s.state.sectionCount, s.state.tempo, s.state.measures,
                          s.state.beatsPerMeasure, s.state.sampleRate, 0, 5, b.divisions,
                          s.state.outText, s.cut);
    SetTerminalOutput(nullptr);
    std::string printed(256, '\0');
    std::rewind(messages);
    printed.resize(std::fread(printed.data(), 1, printed.size(), messages));
    std::fclose(messages);
    EXPECT_FALSE(walked) << b.line;
    EXPECT_EQ(printed, b.line);
  }
}

}  // namespace
}  // namespace beatmarks
