#pragma once

#include <sys/types.h>

#include <optional>
#include <string_view>

#include "files/fd_io.h"

namespace beatmarks {

// Adds text, streamed in pieces, to the end of a file, whole or not at all:
// a regular file is locked for the whole append (when another program renamed
// a new file over the name while the lock was awaited, that file is used), and
// a failure cuts it back to its old length. The program's own standard output
// or error is written through it.
class FileAppender {
 public:
  FileAppender() = default;
  ~FileAppender();
  FileAppender(const FileAppender&) = delete;
  FileAppender& operator=(const FileAppender&) = delete;

  bool Open(const char* name);
  bool Write(std::string_view text);
  // False when anything failed; the file then has its old length.
  bool Finish();

 private:
  int fd_ = -1;
  bool own_ = false;      // the program's own output: never closed or cut
  bool regular_ = false;
  off_t oldLength_ = 0;
  bool failed_ = false;
  std::optional<SigpipeIgnored> sigpipe_;
};

}  // namespace beatmarks
