// Audio from maps of any length: the marks are walked as the audio needs
// them, so huge maps answer at once, and every click and marker of a track
// lies inside it.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

const std::string kBanner = "Beatmarks 1.0\n";

// One second of silence, 16-bit mono at 8000 Hz, written by libsndfile.
void WriteRecording(const std::string& path) {
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  std::vector<short> silence(8000);
  sf_write_short(file, silence.data(), static_cast<sf_count_t>(silence.size()));
  sf_close(file);
}

TEST(AudioStream, HugeMapsAndEdgeFrames) {
  struct Case {
    const char* name;
    std::string map;
    std::vector<std::string> args;
    std::string said;  // on standard error
    int status;
  };
  const std::string huge = "tmap\t120\t4\t2147483647\n";
  const Case cases[] = {
      // Half a beat a second at 8000 Hz: beats 1.1 and 1.2 fall inside the
      // second, the other 8,589,934,586 are counted, not walked.
      {"into, a map of 2^31 - 1 measures", huge, {"--into=rec.wav", "map.tmap", "out.wav"},
       kBanner + "Read 1 sections, 2147483647 measures, -4 beats\n"
                 "Saved out.wav with 2 markers\n"
                 "Warning: 8589934586 markers past the end of the recording left out\n", 0},
      {"a click track past 4 GiB, refused before writing", huge, {"-f", "wav", "map.tmap", "out.wav"},
       kBanner + "Read 1 sections, 2147483647 measures, -4 beats\n"
                 "beatmarks: out.wav: WAV file would be larger than 4 GiB\n", 1},
      // At 1 Hz the four beats of a second fall on frames 0, 0, 1 and 1: the
      // track is two frames long, so the last click and marker stay inside.
      {"a last division on the last frame", "tmap\t240\t4\t1\n",
       {"-f", "wav", "-r", "1", "map.tmap", "out.wav"},
       kBanner + "Read 1 sections, 1 measures, 4 beats\nSaved out.wav with 4 markers\n", 0},
      // A measure of 2^31 - 1 beats is sized from the map, not walked beat
      // by beat; a fitted one ends with its last beat given.
      {"a wide measure past 4 GiB, refused at once", "tmap\t120\t2147483647\t1\n", {"-f", "wav", "map.tmap", "out.wav"},
       kBanner + "Read 1 sections, 1 measures, 2147483647 beats\nbeatmarks: out.wav: WAV file would be larger than 4 GiB\n", 1},
      {"a fitted wide measure ends with the playing", "0\n0.5\n1\n",
       {"--fit", "-f", "wav", "--meter=2147483647", "map.tmap", "out.wav"},
       kBanner + "Read 3 beats in 1 measure, fitted by beat\nSaved out.wav with 3 markers\n", 0},
      {"FLAC holds no markers", "tmap\t120\t4\t2\n", {"-f", "wav", "map.tmap", "out.flac"},
       kBanner + "Read 1 sections, 2 measures, 8 beats\nSaved out.flac with 0 markers\n"
                 "Warning: 8 markers not written: FLAC holds no cue points; use .wav for markers\n", 0},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    WriteFile(folder.File("map.tmap"), c.map);
    WriteRecording(folder.File("rec.wav"));
    RunResult r = RunWith({c.args, "", folder.path(), "", [] { alarm(20); }});  // none may hang
    EXPECT_EQ(r.err, c.said) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_EQ(r.status, c.status) << c.name;
  }
}

// The track of the last case above, read back: two frames, and the clicks
// of frames 0 and 1 both start with a non-zero sample.
TEST(AudioStream, ClicksOnTheLastFrameSound) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t240\t4\t1\n");
  ASSERT_EQ(RunBeatmarks({"-f", "wav", "-r", "1", "map.tmap", "out.wav"}, "", folder.path()).status, 0);
  SF_INFO info{};
  SNDFILE* file = sf_open(folder.File("out.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  std::vector<int> frames(static_cast<std::size_t>(info.frames));
  sf_read_int(file, frames.data(), info.frames);
  sf_close(file);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_NE(frames[0], 0);
  EXPECT_NE(frames[1], 0);
}

}  // namespace
}  // namespace beatmarks::testing
