#include "files/file_appender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/own_output.h"

namespace beatmarks {

FileAppender::~FileAppender() {
  if (fd_ >= 0 && !own_) ::close(fd_);
}

bool FileAppender::Open(const char* name) {
  fd_ = OwnOutputDescriptor(name);
  own_ = fd_ >= 0;
  if (own_) return true;
  sigpipe_.emplace();
  fd_ = OpenLockedForWriting(name, O_APPEND | O_CREAT);
  struct stat info;
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return false;
  regular_ = S_ISREG(info.st_mode);
  oldLength_ = info.st_size;  // where this text will begin
  return true;
}

bool FileAppender::Write(std::string_view text) {
  failed_ = failed_ || !WriteAll(fd_, text);
  return !failed_;
}

bool FileAppender::Finish() {
  if (own_) return !failed_;
  if (failed_ && regular_ && ::ftruncate(fd_, oldLength_) != 0) {
    // Nothing more can be done; the failure is reported either way.
  }
  bool closed = ::close(fd_) == 0;
  fd_ = -1;
  return closed && !failed_;
}

}  // namespace beatmarks
