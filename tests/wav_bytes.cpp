#include "wav_bytes.h"

namespace beatmarks::testing {

std::string Le(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

std::uint32_t ReadLe32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

std::string BuildWav(const std::vector<Chunk>& chunks) {
  std::string body = "WAVE";
  for (const Chunk& chunk : chunks) {
    body += chunk.id + Le(chunk.body.size(), 4) + chunk.body;
    if (chunk.body.size() % 2) body += '\0';
  }
  return "RIFF" + Le(body.size(), 4) + body;
}

std::vector<Chunk> SplitWav(const std::string& file) {
  std::vector<Chunk> chunks;
  for (std::size_t at = 12; at + 8 <= file.size();) {
    std::uint32_t size = ReadLe32(file, at + 4);
    if (at + 8 + size > file.size()) break;
    chunks.push_back({file.substr(at, 4), file.substr(at + 8, size)});
    at += 8 + size + size % 2;
  }
  return chunks;
}

std::string PcmFormat(int channels, int rate, int bits, int tag) {
  int block = channels * ((bits + 7) / 8);
  return Le(tag, 2) + Le(channels, 2) + Le(rate, 4) + Le(rate * block, 4) + Le(block, 2) +
         Le(bits, 2);
}

std::string ExtensibleFormat(int channels, int rate, int bits, int subFormat) {
  const std::string guidTail("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  return PcmFormat(channels, rate, bits, 0xFFFE) + Le(22, 2) + Le(bits, 2) + Le(0, 4) +
         Le(subFormat, 2) + guidTail;
}

std::vector<std::string> LabelNames(const std::string& adtl) {
  std::vector<std::string> names;
  for (std::size_t at = 4; at + 12 <= adtl.size();) {
    std::uint32_t size = ReadLe32(adtl, at + 4);
    if (adtl.compare(at, 4, "labl") == 0) names.push_back(adtl.substr(at + 12).c_str());
    at += 8 + size + size % 2;
  }
  return names;
}

}  // namespace beatmarks::testing
