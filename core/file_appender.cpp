#include "core/file_appender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/own_output.h"

namespace beatmarks {
namespace {

constexpr int kMaxReopens = 100;

// Opens the file to append to, locked when it is a regular file; oldLength
// is where this text will begin.
int OpenForAppending(const char* name, off_t& oldLength, bool& regular) {
  for (int attempt = 0; attempt < kMaxReopens; ++attempt) {
    int fd = OpenForWriting(name, O_APPEND | O_CREAT);
    if (fd < 0) return -1;
    struct stat info;
    regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!regular) return fd;
    bool locked = LockExclusive(fd);
    if (locked && NameLeadsTo(name, fd) && ::fstat(fd, &info) == 0) {
      oldLength = info.st_size;
      return fd;
    }
    ::close(fd);
    if (!locked) return -1;
  }
  return -1;
}

}  // namespace

FileAppender::~FileAppender() {
  if (fd_ >= 0 && !own_) ::close(fd_);
}

bool FileAppender::Open(const char* name) {
  fd_ = OwnOutputDescriptor(name);
  own_ = fd_ >= 0;
  if (own_) return true;
  sigpipe_.emplace();
  fd_ = OpenForAppending(name, oldLength_, regular_);
  return fd_ >= 0;
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
