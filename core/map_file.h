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

// Reads a whole tempo map file, every byte of it.
MapFileStatus LoadMapFile(const char* name, std::string& bytes);

}  // namespace beatmarks
