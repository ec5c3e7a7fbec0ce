#pragma once

// A strict reading of a text map's numbers, for runs that would rather refuse
// a map than misread it: the ordinary reading takes the number at the start
// of a value ("9O" is 9, "96,5" is 96) and a value missing from a `tmap` line
// from the next line, which a careful run does not.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace beatmarks {

// Where the map first says something its reader would misread.
struct MapNumberFault {
  std::int64_t line = 0;  // 1-based line of the keyword
  std::string reason;     // "'9O' is not a number", ...
};

// The first keyword line whose value is not wholly a number (white space
// around it aside), lacks a value, or a `tmap` line with fewer than three.
std::optional<MapNumberFault> FirstNumberFault(std::string_view bytes);

}  // namespace beatmarks
