#pragma once

// A file written in blocks and put in place of its target only when it is
// complete, so that a failed or interrupted write leaves the target as it was.

#include <memory>

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

// A temporary file beside the target, replacing it as `w` does (see
// FileReplacer) when committed, and removed when dropped uncommitted.
// Nothing when the target cannot be replaced by a rename (a file the user may
// not write, a device, a pipe, a file with several links or another owner).
std::unique_ptr<StagedFile> StageFile(const char* target);

}  // namespace beatmarks
