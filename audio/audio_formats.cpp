#include "audio/audio_formats.h"

#include <algorithm>

#ifdef BEATMARKS_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace beatmarks {

#ifdef BEATMARKS_HAVE_SNDFILE

std::vector<std::string> ReadableAudioFormats() {
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof(count));
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof(info)) != 0 || info.name == nullptr) continue;
    // The name's first word ("WAV (Microsoft)"); MPEG audio goes by MP3, and
    // headerless RAW is left out: a recording must say its own rate.
    std::string name(info.name);
    name = name.substr(0, name.find(' '));
    if (name.rfind("MPEG", 0) == 0) name = "MP3";
    if (name.empty() || name == "RAW" || std::find(names.begin(), names.end(), name) != names.end()) continue;
    names.push_back(name);
  }
  return names;
}

std::string AudioLibraryVersion() { return sf_version_string(); }

#else

std::vector<std::string> ReadableAudioFormats() { return {}; }

std::string AudioLibraryVersion() { return ""; }

#endif

}  // namespace beatmarks
