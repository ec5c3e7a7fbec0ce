// The command line with options: every refusal, help and version, standard
// output as OUTPUT, and how each format treats an existing file.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_file.h"
#include "audio/audio_formats.h"
#include "e2e/run_program.h"
#include "reference_grid.h"

namespace beatmarks::testing {
namespace {

const std::string kTry = "Try 'beatmarks --help'.\n";

TEST(Options, EveryRefusalIsAUsageError) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--bogus", "m", "o"}, "unknown option '--bogus'"},
      {{"-x", "m", "o"}, "unknown option '-x'"},
      {{"-f"}, "option '-f' needs a value"},
      {{"--format"}, "option '--format' needs a value"},
      {{"-f", "xml", "m", "o"}, "unknown format 'xml' (list, labels, csv, json, svg, wav, summary, midi, osu, sm, ssc, chart, rekordbox or edl)"},
      {{"-f", "csv", "--into=r.wav", "m", "o"}, "--into needs --format=wav"},
      {{"-f", "wav", "m", "-"}, "audio needs an OUTPUT file, not '-'"},
      {{"--beat=bar", "m", "o"}, "unknown beat unit 'bar' (denominator, quarter or click)"},
      {{"--exact", "-f", "csv", "m", "o"}, "--exact needs the list format"},
      {{"--offset=-1", "-f", "csv", "m", "o"},
       "invalid offset '-1' (seconds, a decimal number of 0 or more)"},
      {{"--offset=1e3", "-f", "csv", "m", "o"},
       "invalid offset '1e3' (seconds, a decimal number of 0 or more)"},
      {{"--offset=1", "m", "o"}, "--offset needs --exact or an exact format"},
      {{"-f", "csv"}, "missing MAP and OUTPUT"},
      {{"-f", "csv", "m"}, "missing OUTPUT"},
      {{"-r", "0", "m", "o"}, "invalid rate '0' (a whole number from 1 to 2147483647)"},
      {{"-r", "48k", "m", "o"}, "invalid rate '48k' (a whole number from 1 to 2147483647)"},
      {{"-r", "+48000", "m", "o"}, "invalid rate '+48000' (a whole number from 1 to 2147483647)"},
      {{"-r", "2147483648", "m", "o"},
       "invalid rate '2147483648' (a whole number from 1 to 2147483647)"},
      {{"-s", "-3", "m", "o"},
       "invalid start measure '-3' (a whole number from 0 to 9223372036854775807)"},
      {{"--stop=", "m", "o"}, "invalid stop measure '' (a whole number from 0 to 9223372036854775807)"},
      {{"-d", "0x10", "m", "o"}, "invalid divisions '0x10' (a whole number from 1 to 2147483647)"},
      {{"-r", "48000", "m", "o", "44100"}, "--rate and the RATE argument both given"},
      {{"-s", "2", "m", "o", "1", "1"}, "--start and the START argument both given"},
      {{"-e", "2", "m", "o", "1", "1", "3"}, "--stop and the STOP argument both given"},
      {{"-d", "2", "m", "o", "1", "1", "3", "4"}, "--divisions and the DIVISIONS argument both given"},
      {{"m", "o", "--format=csv"}, "options go before MAP: '--format=csv'"},
      {{"-f", "csv", "m", "o", "48000", "-d"}, "options go before MAP: '-d'"},
      {{"m", "o", "48000", "-s2"}, "options go before MAP: '-s2'"},
      {{"--", "m", "o", "--"}, "options go before MAP: '--'"},
      {{"-f", "csv", "--locate=t", "-s", "2", "m", "o"},
       "--start cannot be used with --locate: every time is placed in the whole map"},
      {{"-f", "json", "--locate=t", "-e", "2", "m", "o"},
       "--stop cannot be used with --locate: every time is placed in the whole map"},
      {{"-f", "labels", "--locate=t", "m", "o", "44100", "1", "2"},
       "START cannot be used with --locate: every time is placed in the whole map"},
      {{"-f", "csv", "--fit", "--locate=t", "--follow", "-e", "2", "m", "o"}, "--follow needs --snap"},
      {{"-s", "0", "-f", "csv", "m", "o"}, "measure 0 is before the first measure, 1"},
      {{"--first-measure=2", "-e", "1", "-f", "csv", "m", "o"}, "measure 1 is before the first measure, 2"},
      {{"--first-measure=-1", "-f", "csv", "m", "o"},
       "invalid first measure '-1' (a whole number from 0 to 2147483647)"},
      {{"--first-measure=0", "m", "o"}, "--first-measure needs --exact or another format"},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    RunResult r = RunBeatmarks(c.args, "", folder.path());
    EXPECT_EQ(r.err, "beatmarks: " + c.message + "\n" + kTry) << c.args[0];
    EXPECT_EQ(r.out, "") << c.args[0];
    EXPECT_EQ(r.status, 2) << c.args[0];
  }
}

TEST(Options, HelpAndVersion) {
  TempFolder folder;
  for (const char* help : {"-h", "--help"}) {
    RunResult r = RunBeatmarks({help}, "", folder.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: beatmarks", 0), 0u);
    for (const char* word : {"--format", "--exact", "--offset", "--rate", "--start", "--stop",
                             "--divisions", "labels", "csv", "json", "Exit status", "--max-drift=SECONDS  with midi"}) {
      EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
    // The kinds of recording are this build's, each named once; no old wording.
    const std::string heading = "Recordings (--snap, --follow) may be any of these kinds of file:\n";
    const std::size_t kinds = r.out.find(heading) + heading.size();
    ASSERT_GT(kinds, heading.size());
    std::istringstream listed(r.out.substr(kinds, r.out.find("--into takes", kinds) - kinds));
    std::vector<std::string> words;
    for (std::string word; listed >> word;) words.push_back(word);
    const std::vector<std::string> readable = ReadableAudioFormats();
    const std::vector<std::string> none = {"(none:", "this", "build", "has", "no", "audio", "support)"};
    EXPECT_EQ(words, readable.empty() ? none : readable);
    if (AudioSupported()) {
      for (const char* kind : {"WAV", "FLAC", "AIFF", "OGG"}) {
        EXPECT_NE(std::find(readable.begin(), readable.end(), kind), readable.end()) << kind;
      }
    }
    for (const char* old : {"goes not with", "a time a line", "(WAV, FLAC, AIFF)"}) {
      EXPECT_EQ(r.out.find(old), std::string::npos) << old;
    }
  }
  for (const char* version : {"-V", "--version"}) {
    EXPECT_EQ(RunBeatmarks({version}, "", folder.path()).out,
              "beatmarks 1.0\naudio support: " +
                  (AudioSupported() ? "yes (" + AudioLibraryVersion() + ")\n"
                                    : std::string("no (built without libsndfile)\n")));
  }
}

// With '-' as OUTPUT the data alone goes to standard output, with or
// without options; named settings give the same list as positional ones.
TEST(Options, StandardOutputCarriesOnlyTheData) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t2\n");
  const std::string grid = DefaultGrid(2);
  const std::string messages = "Beatmarks 1.0\nRead 1 sections, 2 measures, 8 beats\nSaved " +
                               std::to_string(grid.size()) + " bytes\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"map.tmap", "-", "44100", "1", "2"},
        std::vector<std::string>{"-e", "2", "map.tmap", "-"},
        std::vector<std::string>{"--", "map.tmap", "-", "44100", "1", "2"}}) {
    RunResult r = RunBeatmarks(args, "", folder.path());
    EXPECT_EQ(r.out, grid) << args[0];
    EXPECT_EQ(r.err, messages) << args[0];
    EXPECT_EQ(r.status, 0);
  }
  RunResult missing = RunBeatmarks({"-f", "csv", "none.tmap", "-"}, "", folder.path());
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "Beatmarks 1.0\nbeatmarks: none.tmap: No such file or directory\n");
  EXPECT_EQ(missing.status, 1);
}

// Exact formats replace the file; both lists append to it.
TEST(Options, ExactFormatsReplaceListsAppend) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t120\t2\t1\n");
  const std::string labels = "0.000000\t0.000000\t1.1\n0.500000\t0.500000\t1.2\n";
  struct Case {
    std::vector<std::string> options;
    std::string after;
  };
  const Case cases[] = {
      {{"-f", "labels"}, labels},
      {{"--format=labels", "--offset=0.25"},
       "0.250000\t0.250000\t1.1\n0.750000\t0.750000\t1.2\n"},
      {{"--exact"}, "old\n" + std::string("\nSample Rate\t44100\n\nSection 1\tTempo 120.000\t"
                                         "Beats/Meas 2\tMeasures 1\n\nM 1\tB 1\t0.000 sec\t0 smp\n"
                                         "\tB 2\t0.500 sec\t22050 smp\n\n")},
  };
  for (const Case& c : cases) {
    WriteFile(folder.File("out.txt"), "old\n");
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"map.tmap", "out.txt"});
    RunResult r = RunBeatmarks(args, "", folder.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadFile(folder.File("out.txt")), c.after) << c.options[0];
  }
  WriteFile(folder.File("rate.tmap"), "tmap\t120\t2\t1\nrate\t0\n");
  RunResult noRate = RunBeatmarks({"-f", "csv", "rate.tmap", "out.txt"}, "", folder.path());
  EXPECT_EQ(noRate.status, 1);
  EXPECT_NE(noRate.err.find("beatmarks: Sample rate must be at least 1 for exact times!\n"),
            std::string::npos);
  RunResult unwritable = RunBeatmarks({"-f", "json", "map.tmap", "."}, "", folder.path());
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("beatmarks: .: Is a directory\n"), std::string::npos);
}

}  // namespace
}  // namespace beatmarks::testing
