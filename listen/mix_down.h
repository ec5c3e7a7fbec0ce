#pragma once

// Stereo or mono PCM, as a WAV file stores it (16 or 24 bits, little-endian),
// mixed down to one float a frame: the mean of the channels, each scaled from
// a 32-bit whole number, exactly as libsndfile's integers would give it.

#include <cstddef>
#include <cstdint>

namespace beatmarks {

// Bytes the stored samples need after the last frame: whole words are read.
constexpr std::size_t kMixDownPadding = 4;

// `frames` frames of `bytes`-byte samples in `channels` (1 or 2) channels
// from `stored` into `out`.
void MixDown(const unsigned char* stored, int bytes, int channels, std::int64_t frames, float* out);

}  // namespace beatmarks
