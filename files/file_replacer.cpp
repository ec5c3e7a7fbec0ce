#include "files/file_replacer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "files/own_output.h"

namespace beatmarks {
namespace {

constexpr int kMaxLinkHops = 40;

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

// The umask, read without changing it where the system tells it.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// After a rename the folder's entry must reach the disk too. Folders that
// cannot be synced (some file systems refuse) are not a failure of the save.
bool SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  bool ok = ::fsync(fd) == 0 || errno != EIO;
  ::close(fd);
  return ok;
}

}  // namespace

FileReplacer::~FileReplacer() {
  if (target_ >= 0 && !ownTarget_) ::close(target_);
}

bool FileReplacer::Open(const char* name) {
  int own = OwnOutputDescriptor(name);
  if (own >= 0) {
    target_ = own;
    ownTarget_ = true;
    mode_ = Mode::kStream;
    return true;
  }
  sigpipe_.emplace();
  struct stat info;
  if (::stat(name, &info) != 0) return errno == ENOENT && OpenNew(name);
  if (S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    target_ = OpenForWriting(name, O_TRUNC);
    mode_ = Mode::kStream;
    return target_ >= 0;
  }
  return OpenExisting(name);
}

bool FileReplacer::OpenNew(const char* name) {
  std::optional<std::string> target = FollowDanglingLinks(name);
  if (!target) return false;
  path_ = *target;
  mode_ = Mode::kRename;
  return temporary_.Create(DirectoryOf(path_)) &&
         ::fchmod(temporary_.fd(), 0666 & ~CurrentUmask()) == 0;
}

bool FileReplacer::OpenExisting(const char* name) {
  // Opened for writing, so a file the user may not write is refused as any
  // writer would refuse it, and locked as appenders lock it.
  target_ = OpenLockedForWriting(name, 0);
  struct stat info;
  if (target_ < 0 || ::fstat(target_, &info) != 0) return false;
  char* real = ::realpath(name, nullptr);
  if (real == nullptr) return false;
  path_ = real;
  std::free(real);
  mode_ = Mode::kInPlace;
  if (info.st_nlink == 1 && PrepareTemporary(path_, static_cast<int>(info.st_uid),
                                             static_cast<int>(info.st_gid), info.st_mode)) {
    mode_ = Mode::kRename;
  }
  return true;
}

// A temporary file that can take the old file's place: same owner (changed
// first, since changing it clears set-user-ID and set-group-ID bits), then
// the same mode. False, and no temporary file, when that is not possible.
bool FileReplacer::PrepareTemporary(const std::string& target, int uid, int gid,
                                    unsigned mode) {
  if (!temporary_.Create(DirectoryOf(target))) return false;
  struct stat made;
  bool ok = ::fstat(temporary_.fd(), &made) == 0;
  if (ok && (static_cast<int>(made.st_uid) != uid || static_cast<int>(made.st_gid) != gid)) {
    ok = ::fchown(temporary_.fd(), static_cast<uid_t>(uid), static_cast<gid_t>(gid)) == 0;
  }
  ok = ok && ::fchmod(temporary_.fd(), mode & 07777) == 0;
  if (!ok) temporary_.Remove();
  return ok;
}

int FileReplacer::WriteDescriptor() const {
  return mode_ == Mode::kRename ? temporary_.fd() : target_;
}

bool FileReplacer::Write(std::string_view text) {
  if (failed_) return false;
  failed_ = !WriteAll(WriteDescriptor(), text);
  length_ += text.size();
  return !failed_;
}

bool FileReplacer::Finish() {
  if (failed_) {
    temporary_.Remove();
    return false;
  }
  switch (mode_) {
    case Mode::kRename:
      return ::fsync(temporary_.fd()) == 0 && temporary_.RenameOver(path_) &&
             SyncFolder(DirectoryOf(path_));
    case Mode::kInPlace:
      return ::ftruncate(target_, static_cast<off_t>(length_)) == 0 && ::fsync(target_) == 0;
    case Mode::kStream:
      break;
  }
  return true;
}

}  // namespace beatmarks
