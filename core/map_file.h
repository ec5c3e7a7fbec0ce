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

// A map file read once, whole: every byte of it, whatever it turns out to
// be (a text map or a MIDI file), so that one run never reads two versions.
struct LoadedMap {
  MapFileStatus status = MapFileStatus::kNotFound;
  std::string bytes;
};

LoadedMap LoadMap(const char* name);

}  // namespace beatmarks
