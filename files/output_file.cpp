#include "files/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "files/fd_io.h"

namespace beatmarks {
namespace {

constexpr std::size_t kCopyBlock = 1 << 16;

// An unnamed file in the temporary folder, removed by the system when closed.
int AnonymousFile() {
  const char* folder = std::getenv("TMPDIR");
  std::string base = folder != nullptr && *folder != '\0' ? folder : "/tmp";
  int fd = ::open(base.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string pattern = base + "/.beatmarks-XXXXXX";
  fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(pattern.c_str());
  return fd;
}

}  // namespace

OutputFile::~OutputFile() {
  if (scratch_ >= 0) ::close(scratch_);
}

bool OutputFile::Failed() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  return false;
}

bool OutputFile::Open(const std::string& name, WriteMode mode) {
  mode_ = mode;
  toStdout_ = name == "-";
  if (toStdout_) return true;
  errno = 0;
  bool opened = mode == WriteMode::kReplace ? replacer_.Open(name.c_str())
                                            : appender_.Open(name.c_str());
  return opened || Failed();
}

bool OutputFile::Write(std::string_view text) {
  if (error_ != 0) return false;
  errno = 0;
  bool written = toStdout_                    ? WriteAll(STDOUT_FILENO, text)
                 : mode_ == WriteMode::kReplace ? replacer_.Write(text)
                                                : appender_.Write(text);
  return written || Failed();
}

int OutputFile::Scratch() {
  if (staged_ || scratch_ >= 0) return staged_ ? replacer_.StagingDescriptor() : scratch_;
  errno = 0;
  if (!toStdout_ && mode_ == WriteMode::kReplace && replacer_.StagingDescriptor() >= 0) {
    staged_ = true;
    return replacer_.StagingDescriptor();
  }
  scratch_ = AnonymousFile();
  if (scratch_ < 0) Failed();
  return scratch_;
}

// What a seeking writer left in the scratch file goes out as text would.
bool OutputFile::CopyScratch() {
  if (::lseek(scratch_, 0, SEEK_SET) != 0) return Failed();
  std::vector<char> block(kCopyBlock);
  for (;;) {
    ssize_t got = ::read(scratch_, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Failed();
    if (got == 0) return true;
    if (!Write({block.data(), static_cast<std::size_t>(got)})) return false;
  }
}

bool OutputFile::Finish() {
  if (scratch_ >= 0 && error_ == 0) CopyScratch();
  errno = 0;
  // A replacement that failed is dropped whole (its temporary file goes with
  // the replacer); an append that failed is cut back to its old length.
  bool finished = toStdout_                    ? error_ == 0
                  : mode_ == WriteMode::kReplace ? error_ == 0 && replacer_.Finish()
                                                 : appender_.Finish() && error_ == 0;
  return finished || Failed();
}

bool WriteWholeFile(const std::string& name, WriteMode mode, std::string_view text, int& error) {
  OutputFile file;
  bool saved = file.Open(name, mode) && file.Write(text);
  saved = file.Finish() && saved;
  error = file.Error();
  return saved;
}

}  // namespace beatmarks
