#include "core/file_write.h"

#include "core/file_appender.h"
#include "core/file_replacer.h"

namespace beatmarks {

bool ReplaceFileContent(const char* name, std::string_view text) {
  FileReplacer file;
  return file.Open(name) && file.Write(text) && file.Finish();
}

bool AppendToFile(const char* name, std::string_view text) {
  FileAppender file;
  bool written = file.Open(name) && file.Write(text);
  return file.Finish() && written;
}

}  // namespace beatmarks
