#pragma once

#include <cstdint>
#include <string>

namespace beatmarks {

// Map files larger than this are refused rather than read into memory.
inline constexpr long long kMaxMapFileSize = 64LL * 1024 * 1024;

enum class MapFileStatus {
  kLoaded,
  kNotFound,  // missing, not a regular file, or failing while read
  kTooLarge,
};

// A map file read once, whole: every byte of it, whatever it turns out to
// be (a text map or a MIDI file), so that one run never reads two versions.
struct LoadedMap {
  MapFileStatus status = MapFileStatus::kNotFound;
  std::string bytes;
};

LoadedMap LoadMap(const char* name);

// A file of times or beats named on the command line (--locate, --fit):
// a regular file, a pipe or FIFO (as a shell's <(...) gives), or standard
// input for "-". Opened without waiting for a FIFO's writer, so that one
// with none reads as empty; read whole, up to kMaxMapFileSize bytes but from
// standard input, which has never had a limit. Each failure keeps its reason
// as words for a message: the system's ("No such file or directory"),
// "is a folder", "not a file or a pipe", "larger than 64 MiB".
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  bool Open(const std::string& name);
  int fd() const { return fd_; }
  // A regular file named (not standard input), which may be read at any
  // offset; its size.
  bool Regular() const { return regular_; }
  std::uint64_t Size() const { return size_; }
  // Every byte, from the start of a regular file; the size limit holds here.
  bool ReadAll(std::string& bytes);
  const std::string& Reason() const { return reason_; }

 private:
  bool Fail(std::string reason);

  int fd_ = -1;
  bool standardInput_ = false;
  bool regular_ = false;
  std::uint64_t size_ = 0;
  std::string reason_;
};

// The whole of such an input; false with the reason.
bool ReadInputFile(const std::string& name, std::string& bytes, std::string& reason);

}  // namespace beatmarks
