#pragma once

// A file written in blocks and put in place of its target only when it is
// complete, so that a failed or interrupted write leaves the target as it was.

#include <memory>
#include <string_view>

namespace beatmarks {

class StagedFile {
 public:
  virtual ~StagedFile() = default;
  // A new, empty file open for reading and writing (the writers seek).
  virtual int Descriptor() const = 0;
  // Saves the content to disk and puts it in place of the target; false when
  // that failed, and the target is then unchanged.
  virtual bool Commit() = 0;
};

// A temporary file beside the target, renamed over it by Commit and removed
// when dropped uncommitted. Nothing when it cannot be created.
std::unique_ptr<StagedFile> StageFile(const char* target);

// Writes all the bytes, going on after interruptions; false on failure.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace beatmarks
