#pragma once

#include <string>

namespace beatmarks {

// Map files larger than this are refused rather than read into memory.
inline constexpr long long kMaxMapFileSize = 64LL * 1024 * 1024;

enum class MapFileStatus {
  kLoaded,
  kNotFound,  // missing, not a regular file, or failing while read
  kTooLarge,
};

// Reads a whole tempo map file. The text ends where the file ends, or at its
// first zero byte.
MapFileStatus LoadMapFile(const char* name, std::string& text);

}  // namespace beatmarks
