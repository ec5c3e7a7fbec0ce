#include "files/spool_file.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/fd_io.h"

namespace beatmarks {
namespace {

constexpr std::size_t kBlock = 1 << 20;

std::string SpoolFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// A new file in the folder that no name leads to: O_TMPFILE where the file
// system has it, else a named one unlinked at once, with the signals that
// would end the program held off in between.
int NamelessFile(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  std::string path = folder + "/.beatmarks-spool-XXXXXX";
  sigset_t block, old;
  sigemptyset(&block);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&block, s);
  ::sigprocmask(SIG_BLOCK, &block, &old);
  fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(path.c_str());
  const int error = errno;
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
  errno = error;
  return fd;
}

enum class Copied { kAll, kReadFailed, kWriteFailed };

// Everything left to read of `from`, written to `to`; errno on a failure.
Copied CopyRest(int from, int to) {
  std::vector<char> block(kBlock);
  while (true) {
    const ssize_t got = ::read(from, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Copied::kReadFailed;
    if (got == 0) return Copied::kAll;
    if (!WriteAll(to, {block.data(), static_cast<std::size_t>(got)})) return Copied::kWriteFailed;
  }
}

}  // namespace

int SpoolToFile(int fd, std::string_view head, std::string& reason) {
  errno = 0;
  const std::string folder = SpoolFolder();
  const int spool = NamelessFile(folder);
  const Copied copied = spool < 0 || !WriteAll(spool, head) ? Copied::kWriteFailed : CopyRest(fd, spool);
  if (copied == Copied::kAll) return spool;
  // A write that takes nothing without an error: the disk is full.
  const int error = errno == 0 ? ENOSPC : errno;
  reason = copied == Copied::kReadFailed ? std::strerror(error)
                                         : "could not keep a copy in " + folder + ": " + std::strerror(error);
  if (spool >= 0) ::close(spool);
  return -1;
}

}  // namespace beatmarks
