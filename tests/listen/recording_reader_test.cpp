// The mix-down the detector hears: for 16- and 24-bit files of one to three
// channels, each frame is the mean of the channels' values as floats (the
// file's integer over its full scale), to the last bit, whichever way the
// file is read; frames outside the file are silence.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <random>
#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "listen/recording_reader.h"

namespace beatmarks {
namespace {

struct MixCase {
  int format, channels, bits;
  int container = SF_FORMAT_WAV;  // AIFF (big-endian) and FLAC are read through the library
};

TEST(RecordingReader, MixesChannelsAsTheirFloatsDo) {
  testing::TempFolder dir;
  std::mt19937 rng(5);
  for (const MixCase c : {MixCase{SF_FORMAT_PCM_16, 1, 16}, MixCase{SF_FORMAT_PCM_16, 2, 16},
                          MixCase{SF_FORMAT_PCM_24, 1, 24}, MixCase{SF_FORMAT_PCM_24, 2, 24}, MixCase{SF_FORMAT_PCM_24, 3, 24},
                          MixCase{SF_FORMAT_PCM_24, 2, 24, SF_FORMAT_AIFF}, MixCase{SF_FORMAT_PCM_16, 1, 16, SF_FORMAT_AIFF},
                          MixCase{SF_FORMAT_PCM_24, 2, 24, SF_FORMAT_FLAC}, MixCase{SF_FORMAT_PCM_16, 2, 16, SF_FORMAT_W64}}) {
    SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.channels) + " channels");
    const int frames = 5003, top = 1 << (c.bits - 1);  // not whole vectors of four frames
    std::vector<int> values;  // as the file holds them, full scale at the top
    for (int i = 0; i < frames * c.channels; ++i) values.push_back(static_cast<int>(rng() % (2u * top)) - top);
    values[0] = -top, values[1] = top - 1;
    std::vector<int> scaled;
    for (const int v : values) scaled.push_back(static_cast<int>(static_cast<unsigned>(v) << (32 - c.bits)));
    const std::string path = dir.File(c.container == SF_FORMAT_FLAC ? "mix.flac" : "mix.wav");
    SF_INFO info{};
    info.samplerate = 48000, info.channels = c.channels, info.format = c.container | c.format;
    SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(sf_writef_int(out, scaled.data(), frames), frames);
    sf_close(out);

    RecordingReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, error)) << error;
    std::vector<float> mono;
    ASSERT_TRUE(reader.ReadMono(-10, frames + 20, mono, error)) << error;
    std::vector<float> past;
    ASSERT_TRUE(reader.ReadMono(frames + 5, 7, past, error)) << error;
    EXPECT_EQ(past, std::vector<float>(7, 0.0f));
    for (int f = -10; f < frames + 10; ++f) {
      float want = 0.0f;
      if (f >= 0 && f < frames) {
        for (int ch = 0; ch < c.channels; ++ch) want += static_cast<float>(values[f * c.channels + ch]) / static_cast<float>(top);
        if (c.channels > 1) want *= 1.0f / static_cast<float>(c.channels);
      }
      ASSERT_EQ(mono[static_cast<std::size_t>(f + 10)], want) << "frame " << f;
    }
  }
}

}  // namespace
}  // namespace beatmarks
