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

}  // namespace beatmarks
