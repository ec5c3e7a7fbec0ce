#pragma once

// Test-side WAV bytes, built and taken apart without the program's own RIFF
// code: chunk lists, fmt bodies, little-endian numbers.

#include <cstdint>
#include <string>
#include <vector>

namespace beatmarks::testing {

struct Chunk {
  std::string id;
  std::string body;
};

std::string Le(std::uint64_t value, int bytes);
std::uint32_t ReadLe32(const std::string& bytes, std::size_t at);

// "RIFF", size, "WAVE" and the chunks, each padded to an even length.
std::string BuildWav(const std::vector<Chunk>& chunks);

// The chunks after the RIFF header; stops at anything that does not fit.
std::vector<Chunk> SplitWav(const std::string& file);

std::string PcmFormat(int channels, int rate, int bits, int tag = 1);
// WAVE_FORMAT_EXTENSIBLE with a PCM (1) or float (3) sub-format.
std::string ExtensibleFormat(int channels, int rate, int bits, int subFormat);

// "M.B" of every labl entry of a LIST/adtl body, in order.
std::vector<std::string> LabelNames(const std::string& adtlBody);

}  // namespace beatmarks::testing
