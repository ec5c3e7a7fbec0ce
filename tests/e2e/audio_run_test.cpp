// Click tracks and markers made by the built program, read back with
// libsndfile and checked against the sample positions of its CSV export.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <sstream>
#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

const char kMap[] = "tmap\t97.3333\t3\t2\ntmap\t140\t4\t2\n";

// Frames of the divisions (all, or beats only) as the CSV export gives them.
std::vector<std::int64_t> CsvFrames(const TempFolder& folder, std::vector<std::string> args,
                                    bool beatsOnly) {
  args.insert(args.begin(), {"-f", "csv"});
  args.insert(args.end(), {"map.tmap", "-"});
  std::istringstream csv(RunBeatmarks(args, "", folder.path()).out);
  std::vector<std::int64_t> frames;
  std::string line;
  std::getline(csv, line);
  while (std::getline(csv, line)) {
    std::size_t first = line.find(','), second = line.find(',', first + 1);
    bool beat = line.substr(line.rfind(',', line.rfind(',') - 1) + 1, 1) == "1";
    if (!beatsOnly || beat) frames.push_back(std::stoll(line.substr(first + 1, second - first - 1)));
  }
  return frames;
}

struct ReadBack {
  std::vector<int> samples;
  std::vector<std::int64_t> cues;
  int rate = 0;
};

ReadBack Read(const std::string& path) {
  ReadBack r;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return r;
  r.rate = info.samplerate;
  r.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_int(file, r.samples.data(), info.frames);
  std::uint32_t count = 0;
  if (sf_command(file, SFC_GET_CUE_COUNT, &count, sizeof count) == SF_TRUE && count > 0) {
    std::vector<char> storage(sizeof(SF_CUES) + count * sizeof(SF_CUE_POINT));
    auto* cues = reinterpret_cast<SF_CUES*>(storage.data());
    if (sf_command(file, SFC_GET_CUE, cues, static_cast<int>(storage.size())) == SF_TRUE) {
      for (std::uint32_t i = 0; i < cues->cue_count; ++i) r.cues.push_back(cues->cue_points[i].sample_offset);
    }
  }
  sf_close(file);
  return r;
}

TEST(AudioRun, ClickOnsetsAndMarkersSitOnTheExactFrames) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), kMap);
  const std::vector<std::string> settings = {"-r", "8000", "-d", "2", "--offset=0.3"};
  std::vector<std::string> args = settings;
  args.insert(args.begin(), {"-f", "wav"});
  args.insert(args.end(), {"map.tmap", "click.wav"});
  RunResult run = RunBeatmarks(args, "", folder.path());
  ASSERT_EQ(run.status, 0) << run.out;
  ReadBack wav = Read(folder.File("click.wav"));
  EXPECT_EQ(wav.rate, 8000);
  EXPECT_EQ(wav.cues, CsvFrames(folder, settings, true));
  for (std::int64_t frame : CsvFrames(folder, settings, false)) {
    ASSERT_LT(frame, static_cast<std::int64_t>(wav.samples.size()));
    EXPECT_EQ(wav.samples[static_cast<std::size_t>(frame) - 1], 0) << frame;
    EXPECT_NE(wav.samples[static_cast<std::size_t>(frame)], 0) << frame;
  }
  EXPECT_EQ(wav.samples.front(), 0);  // the offset leads in with silence
}

TEST(AudioRun, MarkersGoIntoACopyOfTheRecording) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), kMap);
  const std::string make = "sox -n -r 22050 -b 16 " + folder.File("rec.wav") + " synth 3 sine 440";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "needs sox (Debian: sox)";
  RunResult run = RunBeatmarks({"--into=rec.wav", "map.tmap", "marked.wav"}, "", folder.path());
  ASSERT_EQ(run.status, 0) << run.out;
  const std::vector<std::int64_t> all = CsvFrames(folder, {"-r", "22050"}, true);
  std::vector<std::int64_t> inside;
  for (std::int64_t f : all) {
    if (f < 3 * 22050) inside.push_back(f);
  }
  EXPECT_NE(run.err.find("Warning: " + std::to_string(all.size() - inside.size()) +
                         " markers past the end of the recording left out"),
            std::string::npos);
  EXPECT_EQ(Read(folder.File("marked.wav")).cues, inside);
  EXPECT_EQ(Read(folder.File("marked.wav")).samples, Read(folder.File("rec.wav")).samples);

  RunResult clash = RunBeatmarks({"--into=rec.wav", "-r", "48000", "map.tmap", "x.wav"}, "",
                                 folder.path());
  EXPECT_EQ(clash.status, 1);
  EXPECT_EQ(clash.err, "Beatmarks 1.0\nRead 2 sections, 4 measures, 14 beats\n"
                       "beatmarks: rec.wav: its sample rate is 22050, not the 48000 given\n");
  EXPECT_EQ(clash.out, "");
  EXPECT_FALSE(FileExists(folder.File("x.wav")));
  RunResult itself = RunBeatmarks({"--into=rec.wav", "map.tmap", "rec.wav"}, "", folder.path());
  EXPECT_EQ(itself.status, 1);
}

}  // namespace
}  // namespace beatmarks::testing
