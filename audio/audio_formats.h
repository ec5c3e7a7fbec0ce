#pragma once

// What the audio library of this build reads, for --help and --version.

#include <string>
#include <vector>

namespace beatmarks {

// The kinds of file a recording may be, by their short names ("AIFF",
// "FLAC", "MP3", "OGG", "WAV", ...), each once; empty without audio support.
std::vector<std::string> ReadableAudioFormats();

// The audio library and its version ("libsndfile-1.2.0"), or "" without one.
std::string AudioLibraryVersion();

}  // namespace beatmarks
