#pragma once

#include <string>
#include <string_view>

#include "files/file_appender.h"
#include "files/file_replacer.h"

namespace beatmarks {

enum class WriteMode { kReplace, kAppend };

// The one way the program writes a file. Every output, the classic list's
// `w` and `a`, the exports and the audio files, goes through it:
// - kReplace replaces the file safely (see FileReplacer): renamed over it
//   from a temporary file beside it, or written in place where a rename would
//   lose something (several links, another owner, a read-only folder);
// - kAppend adds to its end, whole or not at all (see FileAppender);
// - "-" is standard output, written through its descriptor;
// - a name that leads to the program's own standard output or error is
//   written through that descriptor, never renamed over or truncated.
// Writers that seek (audio files) write to Scratch() instead of Write(): a
// new, empty file whose content becomes the output at Finish.
// A failure keeps the errno of its cause for the caller to report.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False when the output may not or cannot be written; nothing has changed.
  bool Open(const std::string& name, WriteMode mode);
  bool Write(std::string_view text);
  // A descriptor open for reading and writing, or -1 (see Error()).
  int Scratch();
  // Makes what was written the output; false when anything failed.
  bool Finish();

  // The errno of the first failure, 0 when nothing failed.
  int Error() const { return error_; }

 private:
  bool Failed();
  bool CopyScratch();

  WriteMode mode_ = WriteMode::kReplace;
  bool toStdout_ = false;
  FileReplacer replacer_;
  FileAppender appender_;
  int scratch_ = -1;       // a scratch file of our own, copied out at Finish
  bool staged_ = false;    // Scratch() is the replacer's own temporary file
  int error_ = 0;
};

// Writes the whole text to the file in one go; false with the errno in
// `error` when it could not be saved.
bool WriteWholeFile(const std::string& name, WriteMode mode, std::string_view text, int& error);

}  // namespace beatmarks
