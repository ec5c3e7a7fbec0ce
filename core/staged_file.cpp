#include "core/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace beatmarks {
namespace {

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t NewFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

class TemporaryBeside final : public StagedFile {
 public:
  TemporaryBeside(std::string target, std::string temporary, int fd)
      : target_(std::move(target)), temporary_(std::move(temporary)), fd_(fd) {}
  ~TemporaryBeside() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temporary_.c_str());
  }
  int Descriptor() const override { return fd_; }
  bool Commit() override {
    bool saved = ::fchmod(fd_, NewFileMode()) == 0 && ::fsync(fd_) == 0;
    saved = ::close(fd_) == 0 && saved;
    fd_ = -1;
    committed_ = saved && std::rename(temporary_.c_str(), target_.c_str()) == 0;
    return committed_;
  }

 private:
  std::string target_;
  std::string temporary_;
  int fd_;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<StagedFile> StageFile(const char* target) {
  std::string temporary = DirectoryOf(target) + "/.beatmarks-XXXXXX";
  int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<TemporaryBeside>(target, std::move(temporary), fd);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace beatmarks
