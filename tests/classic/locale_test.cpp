// The list and the map reader's values do not depend on the process locale,
// even one that writes decimals with a comma.
#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <string>

#include "classic/display.h"
#include "classic/read_map.h"
#include "core/number_scan.h"
#include "e2e/run_program.h"
#include "reference_display.h"
#include "terminal/prompt_name.h"

namespace beatmarks {
namespace {

std::string List(ProgramState& s) {
  bool cut = false;
  Display(s.sectionCount, s.tempo, s.measures, s.beatsPerMeasure, s.sampleRate, 0, 3, 3,
          s.outText, cut);
  return s.outText.data();
}

TEST(Locale, DecimalCommaLocaleChangesNothing) {
  testing::TempFolder folder;
  testing::WriteFile(folder.File("map"), "tmap\t144.6\t4\t2\ntmap\t97.25\t3\t2\n");
  static ProgramState s;
  ASSERT_TRUE(CopyName(folder.File("map").c_str(), s.mapFileName));

  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed (Debian: locales, locale-gen)";
  }
  std::locale::global(std::locale("de_DE.UTF-8"));
  ::testing::internal::CaptureStdout();
  ReadMap(s.sectionCount, s.totalMeasures, s.totalBeats, s.tempo, s.measures, s.beatsPerMeasure,
          s.mapFileName, s.sampleRate, s.divisions, true, s.startMeasure, s.stopMeasure);
  ::testing::internal::GetCapturedStdout();
  const std::string list = List(s);
  const float tempo = MapTempo("1.5");
  std::locale::global(std::locale::classic());
  std::setlocale(LC_ALL, "C");

  EXPECT_EQ(s.tempo[0], 144.6f);
  EXPECT_EQ(s.tempo[1], 97.25f);
  EXPECT_EQ(tempo, 1.5f);
  EXPECT_EQ(list, testing::ReferenceDisplay({{144.6f, 4, 2}, {97.25f, 3, 2}}, 44100, 0, 3, 3).text);
  EXPECT_NE(list.find("Tempo 144.600"), std::string::npos);
}

}  // namespace
}  // namespace beatmarks
