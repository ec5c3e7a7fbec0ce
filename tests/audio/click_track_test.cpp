// Click tracks written through libsndfile and read back by libsndfile and
// sox: every onset and every marker against the frames given.
#include "audio/audio_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "e2e/run_program.h"
#include "wav_bytes.h"

namespace beatmarks {
namespace {

using testing::TempFolder;

// Measures of `beats` beats with `divisions` divisions each, at a tempo whose
// divisions fall between samples, truncated as sample positions are.
std::vector<BeatMark> Grid(std::int32_t rate, int measures, int beats, int divisions,
                           double bpm) {
  std::vector<BeatMark> marks;
  double perDivision = 60.0 / bpm / divisions * rate;
  int index = 0;
  for (int m = 1; m <= measures; ++m) {
    for (int b = 1; b <= beats; ++b) {
      for (int d = 0; d < divisions; ++d, ++index) {
        MarkKind kind = d > 0    ? MarkKind::kDivision
                        : b == 1 ? MarkKind::kDownbeat
                                 : MarkKind::kBeat;
        marks.push_back({static_cast<std::int64_t>(index * perDivision), m, b, kind});
      }
    }
  }
  return marks;
}

std::string Shell(const std::string& command) {
  std::string out;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[256];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  if (pipe) ::pclose(pipe);
  return out;
}

struct ReadBack {
  SF_INFO info{};
  std::vector<double> samples;  // full scale 1
  std::vector<SF_CUE_POINT> cues;
};

ReadBack ReadWithSndfile(const std::string& name) {
  ReadBack back;
  SNDFILE* file = sf_open(name.c_str(), SFM_READ, &back.info);
  if (!file) return back;
  back.samples.resize(static_cast<std::size_t>(back.info.frames));
  sf_read_double(file, back.samples.data(), back.info.frames);
  std::uint32_t count = 0;
  sf_command(file, SFC_GET_CUE_COUNT, &count, sizeof count);
  using Cues = SF_CUES_VAR(512);
  auto cues = std::make_unique<Cues>();
  if (count > 0 && count <= 512 && sf_command(file, SFC_GET_CUE, cues.get(), sizeof(Cues))) {
    back.cues.assign(cues->cue_points, cues->cue_points + cues->cue_count);
  }
  sf_close(file);
  return back;
}

void ExpectOnsets(const std::vector<double>& samples, const std::vector<BeatMark>& marks) {
  for (std::size_t i = 0; i < static_cast<std::size_t>(marks.front().frame); ++i) {
    ASSERT_EQ(samples[i], 0);
  }
  for (std::size_t i = 0; i < marks.size(); ++i) {
    auto frame = static_cast<std::size_t>(marks[i].frame);
    if (frame >= samples.size()) break;
    ASSERT_NE(samples[frame], 0) << "onset " << frame;
    std::size_t next = i + 1 < marks.size() ? marks[i + 1].frame : samples.size();
    if (next >= frame + 2 && next <= samples.size()) {
      ASSERT_EQ(samples[next - 1], 0) << next;
    }
  }
}

struct TrackCase {
  const char* file;
  SampleFormat format;
  std::int32_t rate;
  int divisions;
  int subtype;
};

TEST(ClickTrack, OnsetsAndMarkersReadBackExactly) {
  const TrackCase cases[] = {
      {"a.wav", SampleFormat::kPcm24, 44100, 4, SF_FORMAT_PCM_24},
      {"b.wav", SampleFormat::kPcm16, 48000, 3, SF_FORMAT_PCM_16},
      {"c.wav", SampleFormat::kPcm32, 8000, 16, SF_FORMAT_PCM_32},
      {"d.wav", SampleFormat::kFloat, 22050, 2, SF_FORMAT_FLOAT},
      {"e.wav", SampleFormat::kPcm24, 300, 4, SF_FORMAT_PCM_24},
      {"f.flac", SampleFormat::kPcm24, 96000, 2, SF_FORMAT_PCM_24},
      {"g.flac", SampleFormat::kPcm16, 11025, 5, SF_FORMAT_PCM_16},
  };
  TempFolder folder;
  for (const TrackCase& c : cases) {
    SCOPED_TRACE(c.file);
    bool flac = IsFlacName(c.file);
    auto marks = Grid(c.rate, 5, 3, c.divisions, 133.7);
    // An odd length; the last beat falls past the end.
    std::int64_t lastBeat = marks[marks.size() - c.divisions].frame;
    ClickTrackSettings settings{c.rate, lastBeat - 1 - lastBeat % 2, c.format};
    std::string name = folder.File(c.file);
    SpanMarks source(marks);
    AudioOutcome outcome = SaveClickTrack(name.c_str(), settings, source);
    ASSERT_TRUE(outcome.ok) << outcome.error;

    ReadBack back = ReadWithSndfile(name);
    EXPECT_EQ(back.info.samplerate, c.rate);
    EXPECT_EQ(back.info.channels, 1);
    EXPECT_EQ(back.info.format & SF_FORMAT_SUBMASK, c.subtype);
    ASSERT_EQ(back.info.frames, settings.frameCount);
    ExpectOnsets(back.samples, marks);
    EXPECT_EQ(Shell("sox --i -r " + name), std::to_string(c.rate) + "\n");
    EXPECT_EQ(Shell("sox --i -s " + name), std::to_string(settings.frameCount) + "\n");
    std::string stat = Shell("sox " + name + " -n stat 2>&1");
    EXPECT_NE(stat.find("Maximum amplitude:     0.8"), std::string::npos) << stat;

    std::vector<std::string> names;
    std::vector<std::int64_t> frames;
    std::int64_t leftOut = 0;
    for (const BeatMark& mark : marks) {
      if (HasMarker(mark) && mark.frame >= settings.frameCount) ++leftOut;
      if (HasMarker(mark) && mark.frame < settings.frameCount) {
        names.push_back(std::to_string(mark.measure) + "." + std::to_string(mark.beat));
        frames.push_back(mark.frame);
      }
    }
    if (flac) continue;
    EXPECT_EQ(outcome.markersWritten, static_cast<std::int64_t>(frames.size()));
    EXPECT_EQ(outcome.markersLeftOut, leftOut);
    EXPECT_GT(leftOut, 0);
    ASSERT_EQ(back.cues.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(back.cues[i].position, frames[i]);
      EXPECT_EQ(back.cues[i].sample_offset, frames[i]);
      EXPECT_EQ(back.cues[i].chunk_start, 0);
      EXPECT_EQ(back.cues[i].block_start, 0);
    }
    std::string bytes = testing::ReadFile(name);
    EXPECT_EQ(testing::ReadLe32(bytes, 4) + 8, bytes.size());
    auto chunks = testing::SplitWav(bytes);
    ASSERT_GE(chunks.size(), 2u);
    EXPECT_EQ(chunks.back().id, "LIST");
    EXPECT_EQ(testing::LabelNames(chunks.back().body), names);
  }
}

TEST(ClickTrack, RefusalsAreOneLineAndLeaveNoFile) {
  TempFolder folder;
  std::vector<BeatMark> marks{{0, 1, 1, MarkKind::kDownbeat}, {10, 1, 2, MarkKind::kBeat}};
  std::vector<BeatMark> backwards{{10, 1, 1, MarkKind::kDownbeat}, {9, 1, 2, MarkKind::kBeat}};
  struct Refusal {
    const char* file;
    ClickTrackSettings settings;
    const std::vector<BeatMark>& marks;
    const char* error;
  } refusals[] = {
      {"a.flac", {44100, 100, SampleFormat::kFloat}, marks,
       "Error: FLAC holds 16 or 24-bit samples only!"},
      {"b.wav", {0, 100, SampleFormat::kPcm24}, marks, "Error: Sample rate must be at least 1!"},
      {"c.wav", {44100, -1, SampleFormat::kPcm24}, marks,
       "Error: Track length must not be negative!"},
      {"d.wav", {44100, 100, SampleFormat::kPcm24}, backwards,
       "Error: Beat positions must be in order and not negative!"},
      {"e.wav", {44100, 1'431'655'765 + 100, SampleFormat::kPcm24}, marks, kTooLargeError},
      {"f.wav", {44100, 1LL << 62, SampleFormat::kPcm32}, marks, kTooLargeError},
      {"missing/g.wav", {44100, 100, SampleFormat::kPcm24}, marks,
       "Error: Could not write file "},
      {"h.flac", {1'000'000, 100, SampleFormat::kPcm24}, marks,
       "Error: Could not write file "},
  };
  for (const Refusal& r : refusals) {
    std::string name = folder.File(r.file);
    SpanMarks source(r.marks);
    AudioOutcome outcome = SaveClickTrack(name.c_str(), r.settings, source);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error.rfind(r.error, 0), 0u) << outcome.error;
    EXPECT_EQ(outcome.error.find('\n'), std::string::npos);
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

}  // namespace
}  // namespace beatmarks
