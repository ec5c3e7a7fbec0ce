#pragma once

#include <string_view>

namespace beatmarks {

// Replaces a file's content without ever leaving it half-written: the text
// goes to a temporary file beside it, reaches the disk, and is renamed over
// the file, which keeps its permission bits; a symbolic link is followed to
// the file it names. Devices, pipes and terminals are written in place.
// On failure the old file is untouched. Returns whether the text was saved.
bool ReplaceFileContent(const char* name, std::string_view text);

// Appends the text whole or not at all: one locked write at the end of the
// file, cut back to the old length if it fails part-way, so that lists
// appended at the same time by several runs never interleave.
bool AppendToFile(const char* name, std::string_view text);

}  // namespace beatmarks
