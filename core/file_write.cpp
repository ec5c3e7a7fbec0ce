#include "core/file_write.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>

namespace beatmarks {
namespace {

constexpr int kMaxLinkHops = 40;

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Opens without waiting for a pipe's reader (no reader is an error, not a
// hang), then lets writes block as usual.
int OpenForWriting(const char* name, int flags) {
  int fd = ::open(name, flags | O_WRONLY | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool WriteInPlace(const char* name, std::string_view text) {
  int fd = OpenForWriting(name, O_TRUNC);
  if (fd < 0) return false;
  bool written = WriteAll(fd, text);
  return ::close(fd) == 0 && written;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a name leads to when it does not exist yet: a dangling link is
// followed to the file it would create. Nothing for a loop of links.
std::optional<std::string> FollowDanglingLinks(std::string path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char target[PATH_MAX];
    ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || length == static_cast<ssize_t>(sizeof target)) return std::nullopt;
    std::string next(target, static_cast<std::size_t>(length));
    path = next[0] == '/' ? next : DirectoryOf(path) + "/" + next;
  }
  return std::nullopt;
}

mode_t NewFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Writes the text into a new temporary file beside the target and renames it
// over the target.
bool ReplaceByRename(const std::string& target, std::string_view text,
                     const struct stat* old) {
  std::string temporary = DirectoryOf(target) + "/.beatmarks-XXXXXX";
  int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, old ? (old->st_mode & 07777) : NewFileMode()) == 0;
  if (old && ::fchown(fd, old->st_uid, old->st_gid) != 0) {
    // Only the owner may keep another owner; the content matters more.
  }
  ok = ok && WriteAll(fd, text) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

}  // namespace

bool ReplaceFileContent(const char* name, std::string_view text) {
  struct stat info;
  if (::stat(name, &info) != 0) {
    if (errno != ENOENT) return false;
    std::optional<std::string> target = FollowDanglingLinks(name);
    return target && ReplaceByRename(*target, text, nullptr);
  }
  if (S_ISDIR(info.st_mode)) return false;
  if (!S_ISREG(info.st_mode)) return WriteInPlace(name, text);
  char* real = ::realpath(name, nullptr);
  if (real == nullptr) return false;
  std::string target = real;
  std::free(real);
  return ReplaceByRename(target, text, &info);
}

bool AppendToFile(const char* name, std::string_view text) {
  int fd = OpenForWriting(name, O_APPEND | O_CREAT);
  if (fd < 0) return false;
  struct stat info;
  bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  off_t oldLength = 0;
  if (regular) {
    // The lock keeps parallel runs from interleaving and makes the old length
    // the place where this list begins.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    regular = ::fstat(fd, &info) == 0;
    oldLength = info.st_size;
  }
  bool written = WriteAll(fd, text);
  if (!written && regular && ::ftruncate(fd, oldLength) != 0) {
    // Nothing more can be done; the failure is reported either way.
  }
  return ::close(fd) == 0 && written;
}

}  // namespace beatmarks
