#include "core/staged_file.h"

#include "core/file_replacer.h"

namespace beatmarks {
namespace {

// The safe replacement of a file (lock, owner and mode kept, links followed,
// folder synced), for writers that write and seek through the descriptor.
class ReplacedByRename final : public StagedFile {
 public:
  int Descriptor() const override { return file_.StagingDescriptor(); }
  bool Commit() override { return file_.Finish(); }
  FileReplacer& file() { return file_; }

 private:
  FileReplacer file_;
};

}  // namespace

std::unique_ptr<StagedFile> StageFile(const char* target) {
  auto staged = std::make_unique<ReplacedByRename>();
  if (!staged->file().Open(target) || staged->Descriptor() < 0) return nullptr;
  return staged;
}

}  // namespace beatmarks
