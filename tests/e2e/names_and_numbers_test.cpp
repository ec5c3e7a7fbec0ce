// Section names from the map, measures numbered from a pickup, and the
// summary, as whole runs show them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "midi_bytes.h"

namespace beatmarks::testing {
namespace {

// A one-beat pickup, then two named sections and one without a name.
const char kPickupMap[] =
    "Song\n"
    "Pickup\ttmap\t120\t1\t1\n"
    "Verse\ttmap\t120\t4\t2\n"
    "a note on a line of its own\n"
    "tmap\t60\t3\t1\n";

TEST(NamesAndNumbers, EveryOutputNumbersFromTheFirstMeasure) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {"labels from 0, START and STOP in that numbering",
       {"-f", "labels", "--first-measure=0", "-s", "0", "-e", "1", "map.tmap", "-"},
       "0.000000\t0.000000\t0.1\n0.500000\t0.500000\t1.1\n1.000000\t1.000000\t1.2\n"
       "1.500000\t1.500000\t1.3\n2.000000\t2.000000\t1.4\n"},
      {"csv from 0, the last section", {"-f", "csv", "--first-measure=0", "-s", "3", "map.tmap", "-"},
       "time,frame,measure,beat,division,label\r\n4.500000000,198450,3,1,1,3.1\r\n"
       "5.500000000,242550,3,2,1,3.2\r\n6.500000000,286650,3,3,1,3.3\r\n"},
      {"the exact list from 10", {"--exact", "--first-measure=10", "-s", "13", "-e", "13", "map.tmap", "-"},
       "\nSample Rate\t44100\n\n\nSection 3\tTempo 60.000\tBeats/Meas 3\tMeasures 1\n\n"
       "M 13\tB 1\t4.500 sec\t198450 smp\n\tB 2\t5.500 sec\t242550 smp\n\tB 3\t6.500 sec\t286650 smp\n"},
      {"the summary", {"-f", "summary", "--first-measure=0", "map.tmap", "-"},
       "Section    First  Start                     Tempo  Meter    Measures  Length\n"
       "Pickup         0  0:00.000 (0.000000000 s)  120    1 beats         1  0:00.500 (0.500000000 s)\n"
       "Verse          1  0:00.500 (0.500000000 s)  120    4 beats         2  0:04.000 (4.000000000 s)\n"
       "Section 3      3  0:04.500 (4.500000000 s)  60     3 beats         1  0:03.000 (3.000000000 s)\n"
       "\nTotal 0:07.500 (7.500000000 s), 12 beats\n"},
  };
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), kPickupMap);
  for (const Case& c : cases) {
    RunResult r = RunBeatmarks(c.args, "", folder.path());
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.status, 0) << c.name << r.err;
  }
}

// Names reach JSON (escaped), the picture and the summary; a section without one is
// "Section N"; a title on a line of its own names nothing.
TEST(NamesAndNumbers, NamesInJsonAndPicture) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), std::string(kPickupMap) + "Say \"hi\"\\\ttmap\t90\t4\t1\n");
  RunResult json = RunBeatmarks({"-f", "json", "-e", "1", "map.tmap", "-"}, "", folder.path());
  for (const char* name : {"\"name\":\"Pickup\"", "\"name\":\"Verse\"", "\"name\":\"Section 3\"",
                           "\"name\":\"Say \\\"hi\\\"\\\\\""}) {
    EXPECT_NE(json.out.find(name), std::string::npos) << name << json.out;
  }
  EXPECT_EQ(json.out.find("Song"), std::string::npos);
  // The summary lines up names by terminal columns, not bytes.
  WriteFile(folder.File("cafe.tmap"), "Caf\xc3\xa9\ttmap\t120\t4\t2\nIntro\ttmap\t100\t3\t1\n");
  EXPECT_EQ(RunBeatmarks({"-f", "summary", "cafe.tmap", "-"}, "", folder.path()).out,
            "Section  First  Start                     Tempo  Meter    Measures  Length\n"
            "Caf\xc3\xa9         1  0:00.000 (0.000000000 s)  120    4 beats         2  0:04.000 (4.000000000 s)\n"
            "Intro        3  0:04.000 (4.000000000 s)  100    3 beats         1  0:01.800 (1.800000000 s)\n"
            "\nTotal 0:05.800 (5.800000000 s), 11 beats\n");
  RunResult svg = RunBeatmarks({"-f", "svg", "map.tmap", "-"}, "", folder.path());
  EXPECT_NE(svg.out.find(">Pickup</text>"), std::string::npos);
  EXPECT_EQ(svg.out.find(">Section 3</text>"), std::string::npos);  // unnamed: no label
}


// A MIDI map's markers name its stretches up to the next marker: the one
// at 0 names the tempo change after it too; one half a beat into measure 3
// begins there, in time (a time of measure 3 before it is still "A"); of
// two at one tick the last read names it.
TEST(NamesAndNumbers, MidiMarkersNameTheirStretches) {
  TempFolder folder;
  WriteFile(folder.File("map.mid"),
            MidiHeader(0, 1, 96) + TrackBytes()
                                       .Meter(0, 4, 2, 24)
                                       .Tempo(0, 500000)
                                       .Meta(0, 6, "A")
                                       .Tempo(384, 1000000)
                                       .Meta(432, 6, "B")
                                       .Meta(0, 6, "C")  // the last at a tick names it
                                       .End(336)
                                       .Chunk());
  WriteFile(folder.File("times.txt"), "1\n6.2\n6.8\n7\n");
  RunResult summary = RunBeatmarks({"-f", "summary", "map.mid", "-"}, "", folder.path());
  EXPECT_EQ(summary.out,
            "Section  First  Start                     Tempo              Meter  Measures  Length\n"
            "A            1  0:00.000 (0.000000000 s)  120 (quarter 120)  4/4           1  0:02.000 (2.000000000 s)\n"
            "A            2  0:02.000 (2.000000000 s)  60 (quarter 60)    4/4           2  0:04.500 (4.500000000 s)\n"
            "C            3  0:06.500 (6.500000000 s)  60 (quarter 60)    4/4           0  0:03.500 (3.500000000 s)\n"
            "\nTotal 0:10.000 (10.000000000 s), 12 beats\n");
  RunResult located = RunBeatmarks({"--locate=times.txt", "-f", "csv", "map.mid", "-"}, "", folder.path());
  EXPECT_NE(located.out.find("1,in,1,3,0.000000,1.3,0.000000000,0,,A\r\n"
                             "6.2,in,3,1,0.200000,3.1,0.200000000,8820,,A\r\n"
                             "6.8,in,3,1,0.800000,3.2,-0.200000000,-8820,,C\r\n"
                             "7,in,3,2,0.000000,3.2,0.000000000,0,,C\r\n"),
            std::string::npos)
      << located.out;
  RunResult svg = RunBeatmarks({"-f", "svg", "map.mid", "-"}, "", folder.path());
  for (const char* label : {">A</text>", ">C</text>"}) {
    const std::size_t at = svg.out.find(label);
    EXPECT_TRUE(at != std::string::npos && svg.out.find(label, at + 1) == std::string::npos) << label;
  }
  EXPECT_EQ(svg.out.find(">B</text>"), std::string::npos);
}

// Times whose whole part has a million digits lie outside any map: each is
// placed from its digits, in one reading, and written as it was given.
TEST(NamesAndNumbers, TimesOfAMillionDigits) {
  TempFolder folder;
  const std::string ones(1000000, '1'), nines(1000000, '9');
  WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t2\n");
  WriteFile(folder.File("times.txt"), "0.5\n" + ones + "\n-" + nines + ".25\n3.99\n");
  RunResult r = RunBeatmarks({"--locate=times.txt", "-f", "csv", "map.tmap", "-"}, "", folder.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "time,where,measure,beat,into_beat,nearest,deviation,deviation_frames,name,section\r\n"
                   "0.5,in,1,2,0.000000,1.2,0.000000000,0,,Section 1\r\n" +
                       ones + ",after,,,,,,,,\r\n-" + nines + ".25,before,,,,,,,,\r\n"
                       "3.99,in,2,4,0.980000,2.4,0.490000000,21609,,Section 1\r\n");
}

}  // namespace
}  // namespace beatmarks::testing
