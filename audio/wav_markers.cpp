#include "audio/wav_markers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "audio/cue_chunks.h"
#include "files/fd_io.h"
#include "files/output_file.h"

namespace beatmarks {
namespace {

constexpr std::size_t kCopyBlock = 1 << 16;

std::string RiffHeader(std::uint64_t fileSize) {
  auto size = static_cast<std::uint32_t>(fileSize - 8);
  std::string header = "RIFF";
  for (int shift = 0; shift < 32; shift += 8) header += static_cast<char>(size >> shift);
  return header + "WAVE";
}

// Writes the marker chunks from the descriptor's current position.
bool WriteMarkers(int fd, MarkSource& marks, std::int64_t frameCount) {
  return WriteMarkerChunks(marks, frameCount,
                           [fd](std::string_view bytes) { return WriteAll(fd, bytes); });
}

AudioOutcome Done(const MarkerPlan& plan) {
  AudioOutcome outcome;
  outcome.ok = true;
  outcome.markersWritten = plan.count;
  outcome.markersLeftOut = plan.leftOut;
  return outcome;
}

bool SameFile(int fd, const char* name) {
  struct stat open, named;
  return ::fstat(fd, &open) == 0 && ::stat(name, &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

}  // namespace

AudioOutcome AppendMarkers(int fd, MarkSource& marks, std::int64_t frameCount) {
  const char* unreadable = "Error: The audio file just written could not be read back!";
  FileSource source(fd);
  ChunkWalker walker(source);
  RiffChunk chunk;
  std::uint64_t end = 0;
  while (walker.Next(chunk)) end = chunk.offset + chunk.StoredSize();
  if (!walker.Error().empty() || end == 0) return AudioFailure(unreadable);
  MarkerPlan plan = PlanMarkers(marks, frameCount);
  if (plan.outOfOrder) return AudioFailure(kOrderError);
  if (end + plan.bytes > kMaxWavBytes) return AudioFailure(kTooLargeError);
  // Sizing the file to the chunks adds a missing pad byte as a zero.
  bool written = ::ftruncate(fd, static_cast<off_t>(end)) == 0 &&
                 ::lseek(fd, static_cast<off_t>(end), SEEK_SET) >= 0 &&
                 WriteMarkers(fd, marks, frameCount) &&
                 ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, RiffHeader(end + plan.bytes));
  return written ? Done(plan) : AudioFailure("Error: Could not write the markers!");
}

Recording::Recording(const char* name) : name_(name) {
  // Without waiting for a writer: a FIFO is refused below, not waited on.
  fd_ = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
    error_ = "Error: " + name_ + ": " + std::strerror(errno);
    return;
  }
  if (!S_ISREG(info.st_mode)) {
    error_ = "Error: " + name_ + (S_ISDIR(info.st_mode) ? ": is a folder" : ": not a regular file");
    return;
  }
  ReadWavLayout(FileSource(fd_), layout_, error_);
}

Recording::~Recording() {
  if (fd_ >= 0) ::close(fd_);
}

// Header, body and pad byte, in blocks; a pad byte missing at the end of the
// recording is written as a zero.
bool Recording::CopyChunk(int fd, const RiffChunk& chunk, bool& writeFailed) const {
  FileSource source(fd_);
  std::vector<char> block(kCopyBlock);
  std::uint64_t left = chunk.StoredSize() - (chunk.padMissing ? 1 : 0);
  for (std::uint64_t at = chunk.offset; left > 0;) {
    auto count = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
    if (!source.Read(at, block.data(), count)) return false;
    if (!WriteAll(fd, {block.data(), count})) {
      writeFailed = true;
      return false;
    }
    at += count;
    left -= count;
  }
  writeFailed = chunk.padMissing && !WriteAll(fd, std::string_view("\0", 1));
  return !writeFailed;
}

AudioOutcome Recording::CopyWithMarkers(int fd, const std::string& output,
                                        MarkSource& marks) const {
  if (!Ok()) return AudioFailure(error_);
  MarkerPlan plan = PlanMarkers(marks, FrameCount());
  if (plan.outOfOrder) return AudioFailure(kOrderError);
  FileSource source(fd_);
  RiffChunk chunk;
  std::uint64_t size = 12 + plan.bytes;
  for (ChunkWalker walker(source); walker.Next(chunk);) {
    if (!IsMarkerChunk(chunk)) size += chunk.StoredSize();
  }
  if (size > kMaxWavBytes) return AudioFailure(kTooLargeError);
  if (!WriteAll(fd, RiffHeader(size))) return WriteFailure(output);
  ChunkWalker walker(source);
  while (walker.Next(chunk)) {
    if (IsMarkerChunk(chunk)) continue;
    bool writeFailed = false;
    if (CopyChunk(fd, chunk, writeFailed)) continue;
    // A failed write is the output's (a full disk, a size limit), not the recording's.
    if (writeFailed) return WriteFailure(output, errno);
    return AudioFailure("Error: Could not copy recording " + name_ + "!");
  }
  if (!walker.Error().empty()) return AudioFailure(walker.Error());
  if (!WriteMarkers(fd, marks, FrameCount())) return WriteFailure(output, errno);
  return Done(plan);
}

AudioOutcome Recording::SaveWithMarkers(const char* output,
                                        MarkSource& marks) const {
  if (!Ok()) return AudioFailure(error_);
  if (SameFile(fd_, output)) return AudioFailure("Error: The output may not be the recording itself!");
  OutputFile out;
  if (!out.Open(output, WriteMode::kReplace) || out.Scratch() < 0) {
    return WriteFailure(output, out.Error());
  }
  AudioOutcome outcome = CopyWithMarkers(out.Scratch(), output, marks);
  if (outcome.ok && !out.Finish()) return WriteFailure(output, out.Error());
  return outcome;
}

}  // namespace beatmarks
