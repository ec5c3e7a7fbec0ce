// MIDI files as users give them: on the command line in each format, at the
// menu, as the one argument, and broken in each way the reader refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "exact/rational.h"
#include "midi/midi_file.h"
#include "midi_bytes.h"

namespace beatmarks::testing {
namespace {

// 480 ticks a quarter; one track of the given events, then its end.
std::string OneTrack(TrackBytes track, std::uint32_t endDelta, int division = 480) {
  return MidiHeader(0, 1, division) + track.End(endDelta).Chunk();
}

// 4/4 at 120, then 3/4 from the third beat of measure 2 (cutting it short),
// then 60 a minute from the second beat of measure 3; ends after measure 3.
std::string CutMeasureSong() {
  TrackBytes t;
  t.Meter(0, 4, 2, 24).Tempo(0, 500000).Meter(480 * 6, 3, 2, 24).Tempo(480, 1000000);
  return OneTrack(t, 480);
}

TEST(MidiRun, ListHasAHeaderAtEveryChangeAndEndsCutMeasures) {
  TempFolder folder;
  WriteFile(folder.File("song.mid"), CutMeasureSong());
  RunResult r = RunBeatmarks({"song.mid", "-"}, "", folder.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "Beatmarks 1.0\nRead 2 tempo changes, 2 meter changes, 3 measures\nSaved " +
                       std::to_string(r.out.size()) + " bytes\n");
  EXPECT_EQ(r.out,
            "\nSample Rate\t44100\n"
            "\nSection 1\tTempo 120.000\tBeats/Meas 4\tMeasures 2\n\n"
            "M 1\tB 1\t0.000 sec\t0 smp\n\tB 2\t0.500 sec\t22050 smp\n"
            "\tB 3\t1.000 sec\t44100 smp\n\tB 4\t1.500 sec\t66150 smp\n\n"
            "M 2\tB 1\t2.000 sec\t88200 smp\n\tB 2\t2.500 sec\t110250 smp\n\n"
            "\nSection 2\tTempo 120.000\tBeats/Meas 3\tMeasures 1\n\n"
            "M 3\tB 1\t3.000 sec\t132300 smp\n"
            "\nSection 3\tTempo 60.000\tBeats/Meas 3\tMeasures 0\n\n"
            "\tB 2\t3.500 sec\t154350 smp\n\tB 3\t4.500 sec\t198450 smp\n\n");
}

TEST(MidiRun, BeatUnitsAndFormats) {
  TempFolder folder;
  TrackBytes t;
  t.Meter(0, 6, 3, 36);  // 6/8, a click every dotted quarter
  WriteFile(folder.File("six.mid"), OneTrack(t, 480 * 3));
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"-f", "labels", "six.mid", "-"},
       "0.000000\t0.000000\t1.1\n0.250000\t0.250000\t1.2\n0.500000\t0.500000\t1.3\n"
       "0.750000\t0.750000\t1.4\n1.000000\t1.000000\t1.5\n1.250000\t1.250000\t1.6\n"},
      {{"-f", "labels", "--beat=quarter", "six.mid", "-"},
       "0.000000\t0.000000\t1.1\n0.500000\t0.500000\t1.2\n1.000000\t1.000000\t1.3\n"},
      {{"-f", "labels", "--beat=click", "-d", "3", "--offset=2", "six.mid", "-"},
       "2.000000\t2.000000\t1.1.1\n2.250000\t2.250000\t1.1.2\n2.500000\t2.500000\t1.1.3\n"
       "2.750000\t2.750000\t1.2.1\n3.000000\t3.000000\t1.2.2\n3.250000\t3.250000\t1.2.3\n"},
      {{"-f", "csv", "-r", "48000", "-s", "1", "-e", "1", "--beat=click", "six.mid", "-"},
       "time,frame,measure,beat,division,label\r\n0.000000000,0,1,1,1,1.1\r\n"
       "0.750000000,36000,1,2,1,1.2\r\n"},
  };
  for (const Case& c : cases) {
    RunResult r = RunBeatmarks(c.args, "", folder.path());
    EXPECT_EQ(r.out, c.out) << c.args[1];
    EXPECT_EQ(r.status, 0);
  }
}

// Each refusal is one line naming the file; nothing is written.
TEST(MidiRun, BrokenFilesAreRefusedInOneLine) {
  TempFolder folder;
  TrackBytes zeroTempo, plain, sevenEight;
  zeroTempo.Tempo(0, 0);
  sevenEight.Meter(0, 7, 3, 24);
  const std::string track = plain.End(0).Chunk();
  struct Case {
    std::string bytes;
    std::vector<std::string> options;
    std::string reason;
  };
  const Case cases[] = {
      {MidiHeader(0, 1, 0xE728) + track, {}, "SMPTE"},
      {MidiHeader(2, 1, 480) + track, {}, "format 2"},
      {MidiHeader(0, 1, 480) + track.substr(0, track.size() - 2), {}, "truncated"},
      {MidiHeader(0, 1, 480) + Chunk("MTrk", "\x81\x81\x81\x81\x01\xFF\x2F\x00"), {},
       "variable-length"},
      {OneTrack(zeroTempo, 0), {}, "tempo of 0"},
      {OneTrack(sevenEight, 480 * 7), {"--beat=quarter"}, "measure 1"},
  };
  for (const Case& c : cases) {
    WriteFile(folder.File("bad.mid"), c.bytes);
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"-f", "csv", "bad.mid", "out.csv"});
    RunResult r = RunBeatmarks(args, "", folder.path());
    EXPECT_EQ(r.status, 1) << c.reason;
    ASSERT_EQ(r.err.rfind("Beatmarks 1.0\nbeatmarks: bad.mid: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n', 30), r.err.size() - 1) << r.err;  // one line
    EXPECT_FALSE(FileExists(folder.File("out.csv")));
  }
}

// The menu and the one-argument start take a MIDI file as sections when its
// changes fall on bar lines, and keep the old map otherwise.
TEST(MidiRun, MenuReadsMidiWithChangesOnBarLines) {
  TempFolder folder;
  TrackBytes t;
  t.Tempo(0, 600000).Meter(480 * 8, 3, 2, 24).Tempo(0, 400000);
  WriteFile(folder.File("bars.mid"), OneTrack(t, 480 * 6));
  WriteFile(folder.File("cut.mid"), CutMeasureSong());
  RunResult menu = RunBeatmarks({}, "l m bars.mid m cut.mid p q", folder.path());
  EXPECT_NE(menu.out.find("Read 2 sections, 4 measures, 14 beats\n"), std::string::npos);
  EXPECT_NE(menu.out.find("Error: cut.mid: tempo or meter changes off bar lines"),
            std::string::npos);
  EXPECT_NE(menu.out.find("Section 2\tTempo 150.000\tBeats/Meas 3\tMeasures 2\n"),
            std::string::npos);
  RunResult start = RunBeatmarks({"bars.mid"}, "l p q", folder.path());
  EXPECT_NE(start.out.find("M 4\tB 1\t6.000 sec\t264600 smp\n"), std::string::npos);
}

// Taps of half a second from 1.5 s or 3 s: the fitted file counts in the
// whole measures of the meter that the first tempo nearly fills (one bar of
// 9/8, not two), without a word, and the first tap lands on the bar line
// after them.
TEST(MidiRun, FittedCountInIsOneMeasureOfTheMeter) {
  TempFolder folder;
  for (const int start : {3, 6}) {  // half seconds
    std::string taps;
    for (int k = 0; k < 24; ++k) taps += std::to_string(0.5 * (start + k)) + "\n";
    WriteFile(folder.File("taps" + std::to_string(start) + ".txt"), taps);
  }
  const struct {
    const char* meter;
    std::uint64_t barTicks;  // at 960 a quarter
    int numerator, power;
    std::uint64_t bars;  // of the count-in
    int start;           // half seconds
  } cases[] = {{"--meter=6/8", 2880, 6, 3, 2, 3}, {"--meter=9/8", 4320, 9, 3, 1, 3},
               {"--meter=12/8", 5760, 12, 3, 1, 3}, {"--meter=3", 2880, 3, 2, 1, 3},
               {"--meter=9/8", 4320, 9, 3, 2, 6}, {"--meter=3", 2880, 3, 2, 2, 6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.meter + std::string(" from ") + std::to_string(c.start));
    const std::string taps = "taps" + std::to_string(c.start) + ".txt";
    RunResult r = RunBeatmarks({"--fit", c.meter, "-f", "midi", taps, "out.mid"}, "", folder.path());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("count-in"), std::string::npos) << r.out;
    std::string error;
    const auto map = ReadMidi(ReadFile(folder.File("out.mid")), error);
    ASSERT_TRUE(map) << error;
    ASSERT_FALSE(map->meters.empty());
    EXPECT_EQ(map->meters[0].tick, 0u);
    EXPECT_EQ(map->meters[0].numerator, c.numerator);
    EXPECT_EQ(map->meters[0].denominatorPower, c.power);
    // Where the tempo events put the first bar line after the count-in.
    Rational micros;
    std::uint64_t at = 0, upTo = c.barTicks * c.bars;
    std::uint32_t tempo = kDefaultMicrosPerQuarter;
    for (const MidiTempo& t : map->tempos) {
      if (t.tick >= upTo) break;
      micros = micros + Rational(static_cast<std::int64_t>((t.tick - at) * tempo));
      at = t.tick;
      tempo = t.microsPerQuarter;
    }
    micros = micros + Rational(static_cast<std::int64_t>((upTo - at) * tempo));
    const Rational seconds = micros / Rational(960 * 1000000);
    const Rational drift = seconds - Rational(c.start) / Rational(2);
    EXPECT_LE(std::max(drift, -drift), Rational(1) / Rational(1000000));
  }
}

}  // namespace
}  // namespace beatmarks::testing
