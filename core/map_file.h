#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace beatmarks {

// Map files larger than this are refused rather than read into memory
// (text maps and MIDI files; times and beat lists have no limit).
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

// The same, but a pipe or FIFO (as a shell's <(...) gives) is read to its
// end too, and "-" reads standard input: for runs that name their map on
// the command line. Anything past the size limit is refused as too large.
LoadedMap LoadMapOrPipe(const std::string& name);

// Bytes taken a block at a time, by readers that never hold a whole file.
class ByteFeed {
 public:
  virtual ~ByteFeed() = default;
  // The next bytes, up to `size` of them, into `into`; 0 at the end, or on a
  // failure, which Failure() then names.
  virtual std::size_t Read(char* into, std::size_t size) = 0;
  virtual const std::string& Failure() const = 0;
};

// A file's bytes in order: read at offsets from `start` (a regular file,
// which another feed may read again), or as they come (a pipe, standard
// input).
class InputFeed final : public ByteFeed {
 public:
  InputFeed(int fd, std::optional<std::uint64_t> start) : fd_(fd), at_(start) {}
  std::size_t Read(char* into, std::size_t size) override;
  const std::string& Failure() const override { return failure_; }

 private:
  int fd_;
  std::optional<std::uint64_t> at_;
  std::string failure_;
};

// A file of times or beats named on the command line (--locate, --fit):
// a regular file, a pipe or FIFO (as a shell's <(...) gives), or standard
// input for "-". Opened without waiting for a FIFO's writer, so that one
// with none reads as empty; read a block at a time, of any size. Each failure
// keeps its reason as words for a message: the system's ("No such file or
// directory"), "is a folder", "not a file or a pipe".
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  bool Open(const std::string& name);
  int fd() const { return fd_; }
  // A regular file named (not standard input), which may be read at any
  // offset.
  bool Regular() const { return regular_; }
  // Whether its bytes can be read more than once: a regular file, named or
  // given as standard input.
  bool Rereadable() const { return start_.has_value(); }
  // Its bytes from the start. Standard input is read as it comes, moving
  // its position, as a reader of standard input would; each later feed of
  // it (Rereadable) starts again where the first began.
  InputFeed Feed();
  // From here on the file open at fd (a copy of what this one held, which
  // can be read again), closed with this one.
  void Adopt(int fd);
  const std::string& Reason() const { return reason_; }

 private:
  bool Fail(std::string reason);

  int fd_ = -1;
  bool standardInput_ = false;
  bool regular_ = false;
  bool fed_ = false;
  std::optional<std::uint64_t> start_;  // where its bytes begin, if rereadable
  std::string reason_;
};

}  // namespace beatmarks
