#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/program_state.h"

namespace beatmarks {

// A MIDI file's tempo map as sections of whole measures, for the menu, which
// knows only sections. That is possible when every tempo and meter change
// falls on a bar line (beats are the time signature's note value). Otherwise,
// or when the file cannot be read, returns false with one line in `error`
// (without the file name) and changes nothing.
bool MidiToSections(std::string_view bytes, const MapRef& map, std::string& error);

}  // namespace beatmarks
