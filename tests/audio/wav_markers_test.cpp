// Markers put into copies of recordings: every other chunk and every audio
// byte unchanged, the new markers read back by libsndfile, odd files refused.
#include "audio/wav_markers.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "e2e/run_program.h"
#include "wav_bytes.h"

namespace beatmarks {
namespace {

using testing::BuildWav;
using testing::Chunk;
using testing::Le;
using testing::ReadFile;
using testing::SplitWav;
using testing::TempFolder;
using testing::WriteFile;

// A beat every `every` frames in 3/4 up to `until`, with a division between.
std::vector<BeatMark> Beats(std::int64_t every, std::int64_t until) {
  std::vector<BeatMark> marks;
  for (std::int64_t i = 0; i * every < until; ++i) {
    auto measure = static_cast<std::int32_t>(i / 3 + 1);
    auto beat = static_cast<std::int32_t>(i % 3 + 1);
    marks.push_back({i * every, measure, beat, beat == 1 ? MarkKind::kDownbeat : MarkKind::kBeat});
    marks.push_back({i * every + every / 2, measure, beat, MarkKind::kDivision});
  }
  return marks;
}

std::string Audio(std::size_t bytes) {
  std::string audio;
  for (std::size_t i = 0; i < bytes; ++i) audio += static_cast<char>(i * 37 % 251);
  return audio;
}

std::vector<std::uint32_t> CuePositions(const std::string& name) {
  SF_INFO info{};
  SNDFILE* file = sf_open(name.c_str(), SFM_READ, &info);
  if (!file) return {};
  std::uint32_t count = 0;
  sf_command(file, SFC_GET_CUE_COUNT, &count, sizeof count);
  using Cues = SF_CUES_VAR(256);
  auto cues = std::make_unique<Cues>();
  std::vector<std::uint32_t> positions;
  if (count > 0 && sf_command(file, SFC_GET_CUE, cues.get(), sizeof(Cues))) {
    for (std::uint32_t i = 0; i < cues->cue_count; ++i) {
      EXPECT_EQ(cues->cue_points[i].sample_offset, cues->cue_points[i].position);
      positions.push_back(cues->cue_points[i].position);
    }
  }
  sf_close(file);
  return positions;
}

bool IsOldMarker(const Chunk& chunk) {
  return chunk.id == "cue " || (chunk.id == "LIST" && chunk.body.compare(0, 4, "adtl") == 0);
}

struct RecordingCase {
  const char* label;
  std::string bytes;  // empty: made by the sox command instead
  const char* sox;
  std::int32_t rate;
};

std::vector<RecordingCase> Recordings() {
  std::string oldAdtl = "adtl" + std::string("labl") + Le(6, 4) + Le(1, 4) + "x" + '\0';
  std::string oldCue = Le(1, 4) + Le(1, 4) + Le(5, 4) + "data" + Le(0, 8) + Le(5, 4);
  std::string info = "INFOINAM" + Le(5, 4) + "Take" + '\0' + '\0';
  std::string withPad = BuildWav({{"fmt ", testing::PcmFormat(1, 8000, 8)},
                                  {"data", Audio(4001)}});
  // The last pad byte left out, as some writers do.
  std::string noPad = withPad.substr(0, withPad.size() - 1);
  noPad.replace(4, 4, Le(noPad.size() - 8, 4));
  return {
      {"sox 8-bit", "", "-r 22050 -c 2 -b 8", 22050},
      {"sox 16-bit", "", "-r 44100 -c 1 -b 16", 44100},
      {"sox 24-bit", "", "-r 48000 -c 2 -b 24", 48000},
      {"sox 32-bit", "", "-r 96000 -c 1 -b 32", 96000},
      {"sox float", "", "-r 32000 -c 2 -e floating-point -b 32", 32000},
      {"extensible PCM, odd chunks, old markers",
       BuildWav({{"fmt ", testing::ExtensibleFormat(2, 44100, 24, 1)},
                 {"junk", "odd"},
                 {"cue ", oldCue},
                 {"data", Audio(6 * 5001)},
                 {"LIST", info},
                 {"LIST", oldAdtl},
                 {"note", Audio(9)}}),
       "", 44100},
      {"extensible float", BuildWav({{"fmt ", testing::ExtensibleFormat(1, 48000, 32, 3)},
                                     {"data", Audio(4 * 3000)}}),
       "", 48000},
      {"8-bit odd data without its last pad byte", noPad, "", 8000},
  };
}

TEST(WavMarkers, CopyKeepsEveryOtherChunkAndReplacesMarkers) {
  TempFolder folder;
  for (const RecordingCase& c : Recordings()) {
    SCOPED_TRACE(c.label);
    std::string input = folder.File("in.wav");
    std::string output = folder.File("out.wav");
    if (c.bytes.empty()) {
      ASSERT_EQ(std::system(("sox -n " + std::string(c.sox) + " " + input +
                             " synth 0.25 sine 300 2>/dev/null").c_str()), 0);
    } else {
      WriteFile(input, c.bytes);
    }
    Recording recording(input.c_str());
    ASSERT_TRUE(recording.Ok()) << recording.Error();
    EXPECT_EQ(recording.SampleRate(), c.rate);
    SF_INFO info{};
    SNDFILE* reader = sf_open(input.c_str(), SFM_READ, &info);
    ASSERT_TRUE(reader);
    sf_close(reader);
    ASSERT_EQ(recording.FrameCount(), info.frames);

    std::int64_t every = recording.FrameCount() / 7 + 1;
    auto marks = Beats(every, recording.FrameCount() + 3 * every);
    SpanMarks source(marks);
    AudioOutcome outcome = recording.SaveWithMarkers(output.c_str(), source);
    ASSERT_TRUE(outcome.ok) << outcome.error;

    std::vector<std::uint32_t> frames;
    std::vector<std::string> names;
    for (const BeatMark& mark : marks) {
      if (HasMarker(mark) && mark.frame < recording.FrameCount()) {
        frames.push_back(static_cast<std::uint32_t>(mark.frame));
        names.push_back(std::to_string(mark.measure) + "." + std::to_string(mark.beat));
      }
    }
    EXPECT_EQ(outcome.markersWritten, static_cast<std::int64_t>(frames.size()));
    EXPECT_EQ(outcome.markersLeftOut, 3);
    EXPECT_EQ(CuePositions(output), frames);

    std::vector<Chunk> expected;
    for (const Chunk& chunk : SplitWav(ReadFile(input))) {
      if (!IsOldMarker(chunk)) expected.push_back(chunk);
    }
    std::string copy = ReadFile(output);
    EXPECT_EQ(testing::ReadLe32(copy, 4) + 8, copy.size());
    std::vector<Chunk> chunks = SplitWav(copy);
    ASSERT_EQ(chunks.size(), expected.size() + 2);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(chunks[i].id, expected[i].id);
      EXPECT_TRUE(chunks[i].body == expected[i].body) << chunks[i].id;
    }
    EXPECT_EQ(chunks[expected.size()].id, "cue ");
    EXPECT_EQ(testing::LabelNames(chunks.back().body), names);
  }
}

TEST(WavMarkers, OddFilesAreRefusedWithOneLine) {
  const std::string fmt = testing::PcmFormat(1, 8000, 16);
  const std::string good = BuildWav({{"fmt ", fmt}, {"data", Audio(100)}});
  std::string longChunk = good;
  longChunk.replace(40, 4, Le(102, 4));
  std::string truncated = good.substr(0, good.size() - 10);
  std::string wave64 = "riff" + good.substr(4);
  struct Refusal {
    std::string bytes;
    const char* error;
  } refusals[] = {
      {"RF64" + good.substr(4), "Error: RF64 WAV files are not supported!"},
      {wave64, "Error: Wave64 files are not supported!"},
      {"RIFX" + good.substr(4), "Error: Big-endian RIFX files are not supported!"},
      {"just text, not audio", "Error: Not a WAV file!"},
      {good.substr(0, 8) + "AVI " + good.substr(12), "Error: Not a WAV file!"},
      {BuildWav({{"fmt ", testing::PcmFormat(1, 8000, 4, 0x11)}, {"data", Audio(8)}}),
       "Error: Compressed WAV files are not supported (format 0x0011)!"},
      {BuildWav({{"fmt ", testing::ExtensibleFormat(1, 8000, 16, 2)}, {"data", Audio(8)}}),
       "Error: Compressed WAV files are not supported (format 0x0002)!"},
      {BuildWav({{"data", Audio(8)}}), "Error: WAV file has no fmt chunk!"},
      {BuildWav({{"fmt ", fmt}, {"LIST", "INFO"}}), "Error: WAV file has no data chunk!"},
      {BuildWav({{"fmt ", fmt}, {"data", ""}, {"data", ""}}),
       "Error: WAV file has more than one fmt or data chunk!"},
      {BuildWav({{"fmt ", fmt.substr(0, 14)}, {"data", ""}}), "Error: WAV fmt chunk is too short!"},
      {BuildWav({{"fmt ", testing::PcmFormat(0, 8000, 16)}, {"data", ""}}),
       "Error: WAV format has no channels, sample rate or sample size!"},
      {BuildWav({{"fmt ", testing::PcmFormat(1, -1, 16)}, {"data", ""}}),
       "Error: WAV sample rate is out of range!"},
      {truncated, "Error: WAV file is truncated!"},
      {longChunk, "Error: WAV chunk 'data' runs past the end of the file!"},
  };
  // A RIFF size that covers three bytes after the last chunk.
  std::string ragged = BuildWav({{"fmt ", fmt}, {"data", Audio(8)}}) + "abc";
  ragged.replace(4, 4, Le(ragged.size() - 8, 4));
  TempFolder folder;
  std::string name = folder.File("odd.wav");
  for (const Refusal& r : refusals) {
    WriteFile(name, r.bytes);
    Recording recording(name.c_str());
    EXPECT_EQ(recording.Error(), r.error);
  }
  WriteFile(name, ragged);
  EXPECT_EQ(Recording(name.c_str()).Error(), "Error: WAV file ends inside a chunk header!");
  EXPECT_EQ(Recording(folder.path().c_str()).Error(),
            "Error: " + folder.path() + ": is a folder");
}

TEST(WavMarkers, OutputMayNotBeTheRecording) {
  TempFolder folder;
  std::string name = folder.File("take.wav");
  std::string bytes = BuildWav({{"fmt ", testing::PcmFormat(1, 8000, 16)}, {"data", Audio(100)}});
  WriteFile(name, bytes);
  std::filesystem::create_symlink(name, folder.File("link.wav"));
  Recording recording(name.c_str());
  std::vector<BeatMark> marks{{0, 1, 1, MarkKind::kDownbeat}};
  for (const std::string& output : {name, folder.File("link.wav")}) {
    SpanMarks source(marks);
    AudioOutcome outcome = recording.SaveWithMarkers(output.c_str(), source);
    EXPECT_EQ(outcome.error, "Error: The output may not be the recording itself!");
  }
  EXPECT_EQ(ReadFile(name), bytes);
}

// A sparse recording 20 bytes short of 4 GiB: one marker would pass it.
TEST(WavMarkers, CopyPastFourGibIsRefusedBeforeWriting) {
  TempFolder folder;
  std::string name = folder.File("long.wav");
  const std::uint64_t audio = 0xFFFFFFC0;
  std::string header = BuildWav({{"fmt ", testing::PcmFormat(1, 48000, 16)}, {"data", ""}});
  header.replace(4, 4, Le(header.size() - 8 + audio, 4));
  header.replace(header.size() - 4, 4, Le(audio, 4));
  WriteFile(name, header);
  std::filesystem::resize_file(name, header.size() + audio);
  Recording recording(name.c_str());
  ASSERT_TRUE(recording.Ok()) << recording.Error();
  EXPECT_EQ(recording.FrameCount(), static_cast<std::int64_t>(audio / 2));
  std::vector<BeatMark> marks{{0, 1, 1, MarkKind::kDownbeat}};
  SpanMarks source(marks);
  AudioOutcome outcome = recording.SaveWithMarkers(folder.File("out.wav").c_str(), source);
  EXPECT_EQ(outcome.error, kTooLargeError);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
}  // namespace beatmarks
