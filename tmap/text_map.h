#pragma once

// The text tempo map: keywords separated by tabs and line ends, read up to
// the first zero byte. "tmap TEMPO BEATS MEASURES" is a section (the text
// before it on its line names it); "rate", "div", "start" and "stop" take
// the rest of their line; any other word is skipped. A value that is not a
// number counts as 0, and so does one missing at the end.

#include <cstdint>
#include <string_view>

#include "core/program_state.h"

namespace beatmarks {

// What a read found beyond the sections it kept.
struct TextMapRead {
  std::int64_t sectionLines = 0;  // tmap lines, kept or not (the first 510 are)
};

// Reads the map's text into the map and the settings it names.
TextMapRead ParseTextMap(std::string_view bytes, const MapRef& map, const SettingsRef& settings);

// Whether the text holds a `tmap` keyword, as the reader finds them.
bool HasSectionLine(std::string_view bytes);

}  // namespace beatmarks
