#pragma once

// Reading the chunk list of a RIFF WAVE file: each chunk's place and size,
// checked against the file, and the audio format the file declares. Only
// plain RIFF with PCM or IEEE float samples (also as WAVE_FORMAT_EXTENSIBLE)
// is accepted; everything else is refused with one line.

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace beatmarks {

using FourCc = std::array<char, 4>;

constexpr FourCc MakeFourCc(const char (&text)[5]) {
  return {text[0], text[1], text[2], text[3]};
}

// Little-endian fields of RIFF headers and bodies.
std::uint16_t Le16(const std::uint8_t* p);
std::uint32_t Le32(const std::uint8_t* p);

// Random access to the bytes of a file, or of a buffer in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // All `count` bytes at `offset`, or false.
  virtual bool Read(std::uint64_t offset, void* into, std::size_t count) const = 0;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(int fd);  // the size is taken once, here
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, void* into, std::size_t count) const override;

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, void* into, std::size_t count) const override;

 private:
  std::span<const std::uint8_t> bytes_;
};

struct RiffChunk {
  FourCc id{};
  FourCc listType{};        // the form of a LIST chunk, otherwise zeros
  std::uint64_t offset = 0;  // of the chunk header
  std::uint32_t size = 0;    // of the body, without the pad byte
  bool padMissing = false;   // the last chunk's pad byte is not in the file

  std::uint64_t BodyOffset() const { return offset + 8; }
  // Header, body and pad byte.
  std::uint64_t StoredSize() const { return 8 + std::uint64_t{size} + (size & 1); }
};

// Walks the chunks of a WAVE file one by one, checking each against the end
// of the RIFF form and of the file.
class ChunkWalker {
 public:
  // Checks the RIFF header; on failure Error() says why.
  explicit ChunkWalker(const ByteSource& source);
  // The next chunk, or false at the end or on failure (then Error() is set).
  bool Next(RiffChunk& chunk);
  const std::string& Error() const { return error_; }

 private:
  bool Fail(std::string line);

  const ByteSource& source_;
  std::uint64_t position_ = 12;
  std::uint64_t end_ = 0;
  std::string error_;
};

struct WavLayout {
  std::uint16_t formatTag = 0;  // 1 PCM or 3 float, also when given as EXTENSIBLE
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
  RiffChunk data;
  std::int64_t frameCount = 0;
  std::uint64_t chunkCount = 0;
};

// Reads and checks the whole chunk list; false with the error line set when
// the file is refused.
bool ReadWavLayout(const ByteSource& source, WavLayout& layout, std::string& error);

bool IsMarkerChunk(const RiffChunk& chunk);  // `cue ` or LIST/adtl

}  // namespace beatmarks
