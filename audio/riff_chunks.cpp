#include "audio/riff_chunks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace beatmarks {
namespace {

constexpr FourCc kRiff = MakeFourCc("RIFF");
constexpr FourCc kWave = MakeFourCc("WAVE");
constexpr FourCc kList = MakeFourCc("LIST");
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE after its leading format code.
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::size_t kPlainFmtSize = 16;
constexpr std::size_t kExtensibleFmtSize = 40;

FourCc FourCcAt(const std::uint8_t* p) {
  return {static_cast<char>(p[0]), static_cast<char>(p[1]), static_cast<char>(p[2]),
          static_cast<char>(p[3])};
}

// A chunk name as it may be shown in a message.
std::string Printable(const FourCc& id) {
  std::string name;
  for (char c : id) name += (c >= 0x20 && c < 0x7F) ? c : '?';
  return name;
}

std::string RefusedHeader(const FourCc& id) {
  if (id == MakeFourCc("RF64") || id == MakeFourCc("BW64")) {
    return "Error: RF64 WAV files are not supported!";
  }
  if (id == MakeFourCc("riff")) return "Error: Wave64 files are not supported!";
  if (id == MakeFourCc("RIFX")) return "Error: Big-endian RIFX files are not supported!";
  return "Error: Not a WAV file!";
}

// The sample format of a fmt chunk body, or an error line.
std::string ReadFormat(const std::uint8_t* body, std::size_t size, WavLayout& layout) {
  if (size < kPlainFmtSize) return "Error: WAV fmt chunk is too short!";
  std::uint16_t tag = Le16(body);
  layout.channels = Le16(body + 2);
  layout.sampleRate = Le32(body + 4);
  layout.blockAlign = Le16(body + 12);
  layout.bitsPerSample = Le16(body + 14);
  if (tag == kFormatExtensible) {
    if (size < kExtensibleFmtSize || Le16(body + 16) < 22) {
      return "Error: WAV fmt chunk is too short!";
    }
    bool known = std::memcmp(body + 26, kSubFormatTail, sizeof kSubFormatTail) == 0;
    if (known) tag = Le16(body + 24);
  }
  if (tag != kFormatPcm && tag != kFormatFloat) {
    char line[80];
    std::snprintf(line, sizeof line,
                  "Error: Compressed WAV files are not supported (format 0x%04X)!", tag);
    return line;
  }
  layout.formatTag = tag;
  if (layout.channels == 0 || layout.sampleRate == 0 || layout.blockAlign == 0 ||
      layout.bitsPerSample == 0) {
    return "Error: WAV format has no channels, sample rate or sample size!";
  }
  if (layout.sampleRate > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    return "Error: WAV sample rate is out of range!";
  }
  return {};
}

}  // namespace

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

FileSource::FileSource(int fd) : fd_(fd) {
  struct stat info;
  if (::fstat(fd, &info) == 0 && info.st_size > 0) size_ = static_cast<std::uint64_t>(info.st_size);
}

bool FileSource::Read(std::uint64_t offset, void* into, std::size_t count) const {
  auto* bytes = static_cast<char*>(into);
  while (count > 0) {
    ssize_t got = ::pread(fd_, bytes, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    count -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

bool MemorySource::Read(std::uint64_t offset, void* into, std::size_t count) const {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
  if (count > 0) std::memcpy(into, bytes_.data() + offset, count);
  return true;
}

ChunkWalker::ChunkWalker(const ByteSource& source) : source_(source) {
  std::uint8_t header[12];
  if (source.Size() < sizeof header || !source.Read(0, header, sizeof header)) {
    Fail("Error: Not a WAV file!");
    return;
  }
  if (FourCcAt(header) != kRiff) {
    Fail(RefusedHeader(FourCcAt(header)));
    return;
  }
  if (FourCcAt(header + 8) != kWave) {
    Fail("Error: Not a WAV file!");
    return;
  }
  // One byte short is a missing last pad byte, which is tolerated.
  std::uint64_t riffEnd = 8 + std::uint64_t{Le32(header + 4)};
  if (riffEnd > source.Size() + 1) {
    Fail("Error: WAV file is truncated!");
    return;
  }
  end_ = std::min(riffEnd, source.Size());
}

bool ChunkWalker::Fail(std::string line) {
  error_ = std::move(line);
  position_ = end_ = 0;
  return false;
}

bool ChunkWalker::Next(RiffChunk& chunk) {
  if (position_ >= end_) return false;
  std::uint8_t header[8];
  if (end_ - position_ < sizeof header || !source_.Read(position_, header, sizeof header)) {
    return Fail("Error: WAV file ends inside a chunk header!");
  }
  chunk = RiffChunk{};
  chunk.id = FourCcAt(header);
  chunk.offset = position_;
  chunk.size = Le32(header + 4);
  std::uint64_t bodyEnd = chunk.BodyOffset() + chunk.size;
  if (bodyEnd > end_) {
    return Fail("Error: WAV chunk '" + Printable(chunk.id) + "' runs past the end of the file!");
  }
  std::uint8_t form[4];
  if (chunk.id == kList && chunk.size >= 4) {
    if (!source_.Read(chunk.BodyOffset(), form, sizeof form)) {
      return Fail("Error: WAV file could not be read!");
    }
    chunk.listType = FourCcAt(form);
  }
  position_ = chunk.offset + chunk.StoredSize();
  chunk.padMissing = position_ > end_;
  return true;
}

bool IsMarkerChunk(const RiffChunk& chunk) {
  return chunk.id == MakeFourCc("cue ") ||
         (chunk.id == kList && chunk.listType == MakeFourCc("adtl"));
}

bool ReadWavLayout(const ByteSource& source, WavLayout& layout, std::string& error) {
  layout = WavLayout{};
  ChunkWalker walker(source);
  RiffChunk chunk;
  int formats = 0;
  int datas = 0;
  std::string formatError;
  while (walker.Next(chunk)) {
    ++layout.chunkCount;
    if (chunk.id == MakeFourCc("data")) {
      ++datas;
      layout.data = chunk;
    } else if (chunk.id == MakeFourCc("fmt ") && ++formats == 1) {
      std::uint8_t body[kExtensibleFmtSize] = {};
      std::size_t size = std::min<std::size_t>(chunk.size, sizeof body);
      if (!source.Read(chunk.BodyOffset(), body, size)) {
        error = "Error: WAV file could not be read!";
        return false;
      }
      formatError = ReadFormat(body, size, layout);
    }
  }
  error = !walker.Error().empty()    ? walker.Error()
          : formats == 0             ? "Error: WAV file has no fmt chunk!"
          : datas == 0               ? "Error: WAV file has no data chunk!"
          : formats > 1 || datas > 1 ? "Error: WAV file has more than one fmt or data chunk!"
                                     : formatError;
  if (!error.empty()) return false;
  layout.frameCount = static_cast<std::int64_t>(layout.data.size / layout.blockAlign);
  return true;
}

}  // namespace beatmarks
