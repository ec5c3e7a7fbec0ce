#pragma once

#include <string>

namespace beatmarks {

// A temporary file beside the file it will replace. While it exists, an
// interrupt, a termination or a hang-up removes it before the program ends,
// so no ".beatmarks-*" file is left behind. Only one exists at a time.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() { Remove(); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates the file in the folder; false when that is not possible.
  bool Create(const std::string& folder);
  // Renames it over the target; the temporary file is gone either way.
  bool RenameOver(const std::string& target);
  void Remove();

  int fd() const { return fd_; }
  // Closes the descriptor (keeping the file); false when closing reports an error.
  bool Close();

 private:
  void Forget(bool unlinkIt);

  int fd_ = -1;
  bool exists_ = false;
};

}  // namespace beatmarks
