#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "files/fd_io.h"
#include "files/temporary_file.h"

namespace beatmarks {

// Replaces a file's content, streamed in pieces, without ever leaving it
// half-written where that can be avoided:
// - a regular file is locked (as appenders lock it), the text goes to a
//   temporary file beside it that reaches the disk, keeps the owner and
//   permission bits, and is renamed over it; the folder is then synced;
// - a file with several links, one whose owner a new file could not keep, or
//   one in a folder where no temporary file can be made is written in place:
//   the whole text first, then the file is cut to its length;
// - devices, pipes and terminals are written in place;
// - the program's own standard output or error is written through it.
// A symbolic link is followed to the file it names (dangling ones too).
class FileReplacer {
 public:
  FileReplacer() = default;
  ~FileReplacer();
  FileReplacer(const FileReplacer&) = delete;
  FileReplacer& operator=(const FileReplacer&) = delete;

  // False when the file may not or cannot be written; nothing has changed.
  bool Open(const char* name);
  bool Write(std::string_view text);
  // Makes what was written the file's content; false when that failed.
  bool Finish();

  // For writers that write and seek through a descriptor themselves: the new,
  // empty temporary file, or -1 when the file is not replaced by a rename.
  int StagingDescriptor() const { return mode_ == Mode::kRename ? temporary_.fd() : -1; }

 private:
  enum class Mode { kRename, kInPlace, kStream };

  bool OpenExisting(const char* name);
  bool OpenNew(const char* name);
  bool PrepareTemporary(const std::string& target, int uid, int gid, unsigned mode);
  int WriteDescriptor() const;

  Mode mode_ = Mode::kStream;
  int target_ = -1;  // the existing file (locked), a device, or an own stream
  bool ownTarget_ = false;  // target_ belongs to the program: never closed here
  TemporaryFile temporary_;
  std::string path_;  // where the temporary file is renamed to
  std::uint64_t length_ = 0;
  bool failed_ = false;
  std::optional<SigpipeIgnored> sigpipe_;
};

}  // namespace beatmarks
