// What a run with options tells the user when its input or output is odd:
// one line (and, for a failed write, why), the right status, nothing written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "midi_bytes.h"

namespace beatmarks::testing {
namespace {

const std::string kBanner = "Beatmarks 1.0\n";
const std::string kRead = "Read 1 sections, 2 measures, 8 beats\n";

// A MIDI file of one track at 96 ticks a quarter, ending `end` ticks after
// its last event.
std::string Midi(TrackBytes track, std::uint32_t end) {
  return MidiHeader(0, 1, 96) + track.End(end).Chunk();
}

TEST(RunMessages, RefusalsAndNotes) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string out, err;
    int status;
  };
  const std::string longName(200, 'n');
  const Case cases[] = {
      {"no tmap line", {"-f", "csv", "notes.tmap", "out.csv"}, "",
       kBanner + "Read 0 sections, 0 measures, 0 beats\n"
                 "beatmarks: notes.tmap: no tempo map in it (no tmap line)\n", 1},
      {"tempo past what is kept exactly", {"-f", "json", "long.tmap", "-"}, "",
       kBanner + "Read 1 sections, 1 measures, 4 beats\n"
                 "beatmarks: long.tmap: the tempo of section 1 has more than 200 significant digits\n", 1},
      {"into a FIFO", {"--into=fifo.wav", "map.tmap", "out.wav"}, "",
       kBanner + kRead + "beatmarks: fifo.wav: not a regular file\n", 1},
      {"into a folder", {"--into=.", "map.tmap", "out.wav"}, "",
       kBanner + kRead + "beatmarks: .: is a folder\n", 1},
      {"into a file that is not a WAV", {"--into=map.tmap", "map.tmap", "out.wav"}, "",
       kBanner + kRead + "beatmarks: map.tmap: not a WAV file\n", 1},
      {"a tempo of zero", {"-f", "csv", "zero.tmap", "out.csv"}, "",
       kBanner + kRead + "beatmarks: zero.tmap: tempo must be greater than zero (section 1)\n", 1},
      {"into a device", {"--into=/dev/zero", "map.tmap", "out.wav"}, "",
       kBanner + kRead + "beatmarks: /dev/zero: not a regular file\n", 1},
      {"a long OUTPUT name for csv", {"-f", "csv", "map.tmap", longName}, "",
       "", 0},
      {"a long OUTPUT name for the list, refused before reading",
       {"-r", "8000", "missing.tmap", longName}, "",
       kBanner + "beatmarks: File name longer than 127 characters!\n", 1},
      {"a full disk says why", {"-f", "csv", "map.tmap", "/dev/full"}, "",
       kBanner + kRead + "beatmarks: /dev/full: No space left on device\n", 1},
      {"the classic list on a full disk says why", {"-r", "8000", "map.tmap", "/dev/full"}, "",
       kBanner + kRead + "beatmarks: /dev/full: No space left on device\n", 1},
      {"MIDI without a tempo", {"-f", "csv", "notempo.mid", "out.csv"}, "",
       kBanner + "Read 1 tempo changes, 1 meter changes, 2 measures (no tempo: 120 bpm assumed)\n"
                 "Saved 271 bytes\n", 0},
      {"MIDI without either", {"-f", "csv", "bare.mid", "out.csv"}, "",
       kBanner + "Read 1 tempo changes, 1 meter changes, 2 measures (no tempo or time "
                 "signature: 120 bpm and 4/4 assumed)\nSaved 271 bytes\n", 0},
  };
  TempFolder folder;
  WriteFile(folder.File("notes.tmap"), "Night Train\ntmap 120 4 8\n");
  WriteFile(folder.File("long.tmap"), "tmap\t1." + std::string(300, '3') + "\t4\t1\n");
  WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t2\n");
  WriteFile(folder.File("zero.tmap"), "tmap\t0\t4\t2\n");
  WriteFile(folder.File("notempo.mid"), Midi(TrackBytes().Meter(0, 4, 2, 24), 768));
  WriteFile(folder.File("bare.mid"), Midi(TrackBytes(), 768));
  ASSERT_EQ(::mkfifo(folder.File("fifo.wav").c_str(), 0600), 0);
  for (const Case& c : cases) {
    RunResult r = RunBeatmarks(c.args, "", folder.path());
    if (c.status == 0 && c.err.empty()) {  // only that it worked
      EXPECT_EQ(r.status, 0) << c.name << r.out << r.err;
      continue;
    }
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_EQ(r.status, c.status) << c.name;
  }
  EXPECT_FALSE(FileExists(folder.File("out.wav")));
}

// A tempo event that repeats the tempo in force is no change: the list of a
// MIDI map has a header only where the tempo or the meter changes.
TEST(RunMessages, MidiListHeadersOnlyAtChanges) {
  TrackBytes track;
  track.Meter(0, 4, 2, 24).Tempo(0, 500000).Tempo(96, 500000).Tempo(96, 500000);
  track.Tempo(96, 1000000).Tempo(96, 500000);
  TempFolder folder;
  WriteFile(folder.File("m.mid"), Midi(track, 384));
  RunResult r = RunBeatmarks({"-f", "list", "m.mid", "-"}, "", folder.path());
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> headers;
  for (std::size_t at = 0; (at = r.out.find("Section", at)) != std::string::npos; ++at) {
    headers.push_back(r.out.substr(at, r.out.find('\t', at) - at));
  }
  // 120 from the start, 60 from beat 4, and 120 again from beat 5.
  EXPECT_EQ(headers.size(), 3u) << r.out;
}

// A run narrowed by the map file's own start and stop lines says so; one
// whose range the command line gives, or that places times, does not.
TEST(RunMessages, MapRangeSaid) {
  struct Case {
    std::vector<std::string> args;
    std::string note;
  };
  const std::string read = "Read 4 sections, 48 measures, 184 beats\n";
  const Case cases[] = {
      {{"-f", "csv", "song.tmap", "out"}, "Measures 1 to 4 of 48 (the map's stop line)\n"},
      {{"-f", "labels", "-s", "3", "song.tmap", "out"}, "Measures 3 to 4 of 48 (the map's stop line)\n"},
      {{"-f", "csv", "-e", "48", "song.tmap", "out"}, ""},
      {{"-f", "csv", "song.tmap", "out", "48000", "1", "40"}, ""},
      {{"-f", "csv", "ranged.tmap", "out"}, "Measures 2 to 48 of 48 (the map's start line)\n"},
      {{"-f", "csv", "--locate=times.txt", "song.tmap", "out"}, ""},
  };
  TempFolder folder;
  const std::string song = ReadFile(std::string(BEATMARKS_EXAMPLES) + "/song.tmap");
  WriteFile(folder.File("song.tmap"), song);
  WriteFile(folder.File("ranged.tmap"), song.substr(0, song.find("stop")) + "start\t2\n");
  WriteFile(folder.File("times.txt"), "99\n");
  for (const Case& c : cases) {
    RunResult r = RunBeatmarks(c.args, "", folder.path());
    EXPECT_EQ(r.err.substr(0, r.err.find("Saved")), kBanner + read + c.note) << c.args[2];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
  }
  // Without options the run is as it always was.
  RunResult r = RunBeatmarks({"song.tmap", "out.txt"}, "", folder.path());
  EXPECT_EQ(r.out, kBanner + read + "Saved 856 bytes\n");
}

}  // namespace
}  // namespace beatmarks::testing
