#pragma once

#include <string_view>

namespace beatmarks {

// Replaces a file's content safely (see FileReplacer). On failure the old
// file keeps its content wherever that could be arranged. Returns whether the
// text was saved.
bool ReplaceFileContent(const char* name, std::string_view text);

// Appends the text whole or not at all: one locked write at the end of the
// file, cut back to the old length if it fails part-way, so that lists
// appended at the same time by several runs never interleave.
bool AppendToFile(const char* name, std::string_view text);

}  // namespace beatmarks
