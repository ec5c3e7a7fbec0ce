#include "core/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/fd_io.h"
#include "core/file_replacer.h"
#include "core/own_output.h"

namespace beatmarks {
namespace {

constexpr int kMaxReopens = 100;

// Opens the file to append to. A regular file is locked, and when another
// program renamed a new file over the name while the lock was awaited, that
// new file is opened instead. oldLength is where this text will begin.
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

bool ReplaceFileContent(const char* name, std::string_view text) {
  FileReplacer file;
  return file.Open(name) && file.Write(text) && file.Finish();
}

bool AppendToFile(const char* name, std::string_view text) {
  int own = OwnOutputDescriptor(name);
  if (own >= 0) return WriteAll(own, text);
  SigpipeIgnored sigpipe;
  off_t oldLength = 0;
  bool regular = false;
  int fd = OpenForAppending(name, oldLength, regular);
  if (fd < 0) return false;
  bool written = WriteAll(fd, text);
  if (!written && regular && ::ftruncate(fd, oldLength) != 0) {
    // Nothing more can be done; the failure is reported either way.
  }
  return ::close(fd) == 0 && written;
}

}  // namespace beatmarks
