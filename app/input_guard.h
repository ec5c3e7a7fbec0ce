#pragma once

#include <optional>
#include <string>

#include "app/options.h"

namespace beatmarks {

// What OUTPUT would destroy: the role of the input ("map", "beat list",
// "times file", "recording") that is the same regular file as OUTPUT, by
// device and inode whatever the names; nothing when OUTPUT is new, "-", or
// no input's file.
std::optional<std::string> InputAtOutput(const Options& o);

// Whether a file the user named holds a tempo map (a text map with a tmap
// line, or a MIDI file): an OUTPUT that does was most likely meant as MAP.
bool HoldsTempoMap(const std::string& name);

}  // namespace beatmarks
