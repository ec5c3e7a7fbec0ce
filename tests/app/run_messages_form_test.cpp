// The form a run with options gives its messages.
#include <gtest/gtest.h>

#include "app/run_messages.h"

namespace beatmarks {
namespace {

TEST(RunMessagesForm, ErrorsNameTheProgramAndTheLine) {
  struct Case {
    const char* line;
    const char* shown;
  };
  const Case cases[] = {
      {"Error: taps.txt line 7: 'x' is not a time", "beatmarks: taps.txt:7: 'x' is not a time"},
      {"Error: none.tmap: No such file or directory", "beatmarks: none.tmap: No such file or directory"},
      {"Error: Could not write file out.csv!", "beatmarks: Could not write file out.csv!"},
      // Only " line " with digits and ": " names a line.
      {"Error: my line 3.tmap: why", "beatmarks: my line 3.tmap: why"},
      {"Error: a line x: why", "beatmarks: a line x: why"},
      {"Error: a line 12", "beatmarks: a line 12"},
      {"Error: my line 3.tmap line 4: why", "beatmarks: my line 3.tmap:4: why"},
      {"Error: t.txt line 2: line 3: odd", "beatmarks: t.txt:2: line 3: odd"},
      // Anything else is kept as it is.
      {"Warning: the fit mended 1 tap", "Warning: the fit mended 1 tap"},
      {"Read 1 sections, 2 measures, 8 beats", "Read 1 sections, 2 measures, 8 beats"},
      {"Errors: none", "Errors: none"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(InUnixForm(c.line), c.shown) << c.line;
}

TEST(RunMessagesForm, ClassicMessagesAboutAFile) {
  struct Case {
    const char* message;
    const char* shown;
  };
  const Case cases[] = {
      {"Error: Not a WAV file!", "Error: in.wav: not a WAV file"},
      {"Error: WAV fmt chunk is too short!", "Error: in.wav: WAV fmt chunk is too short"},
      {"Error: Tempo must be greater than zero! (section 2)",
       "Error: in.wav: tempo must be greater than zero (section 2)"},
      {"Error: Compressed WAV files are not supported (format 0x0055)!",
       "Error: in.wav: compressed WAV files are not supported (format 0x0055)"},
      {"Error: Why! Not this", "Error: in.wav: why! Not this"},
      {"no prefix", "Error: in.wav: no prefix"},
  };
  for (const Case& c : cases) EXPECT_EQ(AboutFile("in.wav", c.message), c.shown) << c.message;
}

}  // namespace
}  // namespace beatmarks
