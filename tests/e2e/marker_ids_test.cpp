// The markers of written WAV files taken apart byte by byte: every cue point
// has the label of its own beat, in a click track and in a marked recording.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "wav_bytes.h"

namespace beatmarks::testing {
namespace {

struct Beat {
  std::uint32_t frame;
  std::string name;  // "M.B"
};

// The beats (first divisions) of the CSV export, in order.
std::vector<Beat> CsvBeats(const TempFolder& folder, const std::vector<std::string>& settings) {
  std::vector<std::string> args = {"-f", "csv"};
  args.insert(args.end(), settings.begin(), settings.end());
  args.insert(args.end(), {"map.tmap", "-"});
  std::istringstream csv(RunBeatmarks(args, "", folder.path()).out);
  std::vector<Beat> beats;
  std::string line;
  std::getline(csv, line);
  while (std::getline(csv, line)) {
    std::vector<std::string> field;
    std::istringstream fields(line);
    for (std::string f; std::getline(fields, f, ',');) field.push_back(f);
    if (field.size() == 6 && field[4] == "1") {
      auto frame = static_cast<std::uint32_t>(std::stoul(field[1]));
      beats.push_back({frame, field[2] + "." + field[3]});
    }
  }
  return beats;
}

// The cue points of a file in order, each with the frame it names and its
// label looked up by cue id (empty when none has that id).
std::vector<Beat> Markers(const std::string& wav) {
  std::string cue, adtl;
  for (const Chunk& chunk : SplitWav(wav)) {
    if (chunk.id == "cue ") cue = chunk.body;
    if (chunk.id == "LIST" && chunk.body.compare(0, 4, "adtl") == 0) adtl = chunk.body;
  }
  std::map<std::uint32_t, std::string> labels;
  for (std::size_t at = 4; at + 12 <= adtl.size();) {
    std::uint32_t size = ReadLe32(adtl, at + 4);
    if (adtl.compare(at, 4, "labl") == 0) {
      EXPECT_TRUE(labels.emplace(ReadLe32(adtl, at + 8), adtl.substr(at + 12).c_str()).second);
    }
    at += 8 + size + size % 2;
  }
  std::vector<Beat> markers;
  if (cue.size() < 4) return markers;
  const std::uint32_t count = ReadLe32(cue, 0);
  EXPECT_EQ(cue.size(), 4 + 24 * std::size_t{count});
  EXPECT_EQ(labels.size(), count);
  for (std::size_t at = 4; at + 24 <= cue.size(); at += 24) {
    EXPECT_EQ(ReadLe32(cue, at), markers.size() + 1);  // ids 1, 2, ... in order
    EXPECT_EQ(ReadLe32(cue, at + 4), ReadLe32(cue, at + 20));  // position, sample offset
    markers.push_back({ReadLe32(cue, at + 20), labels[ReadLe32(cue, at)]});
  }
  return markers;
}

std::string Silence(std::size_t frames) {
  return BuildWav({{"fmt ", PcmFormat(1, 8000, 16)}, {"data", std::string(2 * frames, '\0')}});
}

TEST(MarkerIds, EveryCuePointIsLabelledWithItsOwnBeat) {
  struct Case {
    const char* job;
    std::vector<std::string> settings;
    std::size_t frames;  // of the recording: later beats have no marker
  };
  const Case cases[] = {
      {"--format=wav", {"-r", "8000", "-d", "2", "--offset=0.3"}, 0},
      {"--format=wav", {"-r", "8000", "-s", "3"}, 0},
      {"--into=rec.wav", {"-d", "3"}, 8000 * 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.job);
    TempFolder folder;
    WriteFile(folder.File("map.tmap"), "tmap\t97.3333\t3\t2\ntmap\t140\t4\t2\n");
    if (c.frames > 0) WriteFile(folder.File("rec.wav"), Silence(c.frames));
    std::vector<std::string> args = c.settings;
    args.insert(args.begin(), c.job);
    args.insert(args.end(), {"map.tmap", "out.wav"});
    RunResult run = RunBeatmarks(args, "", folder.path());
    ASSERT_EQ(run.status, 0) << run.out << run.err;

    std::vector<std::string> settings = c.settings;
    if (c.frames > 0) settings.insert(settings.end(), {"-r", "8000"});
    std::vector<Beat> beats = CsvBeats(folder, settings);
    while (c.frames > 0 && !beats.empty() && beats.back().frame >= c.frames) beats.pop_back();
    ASSERT_GE(beats.size(), 3u);
    std::vector<Beat> markers = Markers(ReadFile(folder.File("out.wav")));
    ASSERT_EQ(markers.size(), beats.size());
    for (std::size_t k = 0; k < beats.size(); ++k) {
      EXPECT_EQ(markers[k].name, beats[k].name) << "cue point " << k + 1;
      EXPECT_EQ(markers[k].frame, beats[k].frame) << "cue point " << k + 1;
    }
  }
}

}  // namespace
}  // namespace beatmarks::testing
