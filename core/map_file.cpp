#include "core/map_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace beatmarks
