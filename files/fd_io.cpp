#include "files/fd_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace beatmarks {

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

int OpenForWriting(const char* name, int flags) {
  int fd = ::open(name, flags | O_WRONLY | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  int status = ::fcntl(fd, F_GETFL);
  if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool LockExclusive(int fd) {
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool NameLeadsTo(const char* name, int fd) {
  struct stat named, open;
  return ::stat(name, &named) == 0 && ::fstat(fd, &open) == 0 && named.st_dev == open.st_dev &&
         named.st_ino == open.st_ino;
}

int OpenLockedForWriting(const char* name, int flags) {
  constexpr int kMaxReopens = 100;
  for (int attempt = 0; attempt < kMaxReopens; ++attempt) {
    int fd = OpenForWriting(name, flags);
    if (fd < 0) return -1;
    struct stat info;
    if (::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) return fd;
    const bool locked = LockExclusive(fd);
    if (locked && NameLeadsTo(name, fd)) return fd;
    ::close(fd);
    if (!locked) return -1;
  }
  return -1;
}

SigpipeIgnored::SigpipeIgnored() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  restore_ = ::sigaction(SIGPIPE, &ignore, &old_) == 0;
}

SigpipeIgnored::~SigpipeIgnored() {
  if (restore_) ::sigaction(SIGPIPE, &old_, nullptr);
}

}  // namespace beatmarks
