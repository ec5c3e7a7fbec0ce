#include "core/map_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace beatmarks {
namespace {

MapFileStatus ReadOpenFile(int fd, std::string& text) {
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return MapFileStatus::kNotFound;
  if (info.st_size > kMaxMapFileSize) return MapFileStatus::kTooLarge;
  std::string buffer(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t filled = 0;
  while (filled < buffer.size()) {
    ssize_t got = ::read(fd, buffer.data() + filled, buffer.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return MapFileStatus::kNotFound;
    if (got == 0) break;  // the file shrank while it was read
    filled += static_cast<std::size_t>(got);
  }
  buffer.resize(filled);
  text = std::move(buffer);
  return MapFileStatus::kLoaded;
}

}  // namespace

LoadedMap LoadMap(const char* name) {
  LoadedMap map;
  // Non-blocking, so that naming a pipe with no writer cannot hang the
  // program; it is refused as not a regular file.
  int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return map;
  map.status = ReadOpenFile(fd, map.bytes);
  ::close(fd);
  return map;
}

LoadedMap LoadMapOrPipe(const std::string& name) {
  struct stat info;
  const bool pipe = name == "-" || (::stat(name.c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
  if (!pipe) return LoadMap(name.c_str());
  LoadedMap map;
  InputFile file;
  if (!file.Open(name)) return map;
  InputFeed feed = file.Feed();
  constexpr std::size_t kBlock = 1 << 16;
  std::string bytes;
  while (true) {
    const std::size_t held = bytes.size();
    if (held > static_cast<std::size_t>(kMaxMapFileSize)) {
      map.status = MapFileStatus::kTooLarge;
      return map;
    }
    bytes.resize(held + kBlock);
    const std::size_t got = feed.Read(bytes.data() + held, kBlock);
    bytes.resize(held + got);
    if (got == 0) break;
  }
  if (!feed.Failure().empty()) return map;
  map.bytes = std::move(bytes);
  map.status = MapFileStatus::kLoaded;
  return map;
}

InputFile::~InputFile() {
  if (fd_ >= 0 && !standardInput_) ::close(fd_);
}

bool InputFile::Fail(std::string reason) {
  reason_ = std::move(reason);
  return false;
}

bool InputFile::Open(const std::string& name) {
  standardInput_ = name == "-";
  fd_ = standardInput_ ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return Fail(std::strerror(errno));
  if (standardInput_) {  // read as it comes, from where it stands
    const off_t at = S_ISREG(info.st_mode) ? ::lseek(fd_, 0, SEEK_CUR) : -1;
    if (at >= 0) start_ = static_cast<std::uint64_t>(at);
    return true;
  }
  regular_ = S_ISREG(info.st_mode);
  if (regular_) start_ = 0;
  if (S_ISDIR(info.st_mode)) return Fail("is a folder");
  if (!regular_ && !S_ISFIFO(info.st_mode)) return Fail("not a file or a pipe");
  // A FIFO read from here on waits for what its writer sends, as a pipe does.
  if (!regular_ && ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0) {
    return Fail(std::strerror(errno));
  }
  return true;
}

InputFeed InputFile::Feed() {
  const bool first = !fed_;
  fed_ = true;
  if (standardInput_ && first) return InputFeed(fd_, std::nullopt);
  return InputFeed(fd_, start_);
}

void InputFile::Adopt(int fd) {
  if (fd_ >= 0 && !standardInput_) ::close(fd_);
  fd_ = fd;
  standardInput_ = false;
  fed_ = false;
  start_ = 0;
}

std::size_t InputFeed::Read(char* into, std::size_t size) {
  while (true) {
    const ssize_t got = at_ ? ::pread(fd_, into, size, static_cast<off_t>(*at_)) : ::read(fd_, into, size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      failure_ = std::strerror(errno);
      return 0;
    }
    if (at_) *at_ += static_cast<std::uint64_t>(got);
    return static_cast<std::size_t>(got);
  }
}

}  // namespace beatmarks
