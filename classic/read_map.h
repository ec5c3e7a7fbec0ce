#pragma once

#include <cstdint>

#include "core/map_file.h"
#include "core/program_state.h"

namespace beatmarks {

enum class MapReadOutcome {
  kRead,       // the file was read and the map replaced
  kNotRead,    // the file could not be read or was too large: nothing changed
  kNoFileName, // no usable name was given at the prompt: nothing was tried
};

// Reads a tempo map file into the map and the settings it names, and reports
// what it read. With batch false the file name is asked for first.
MapReadOutcome ReadMap(std::int32_t& sectionCount, std::int64_t& totalMeasures,
                       std::int64_t& totalBeats, TempoArray& tempo, CountArray& measures,
                       CountArray& beatsPerMeasure, NameBuffer& mapFileName,
                       std::int32_t& sampleRate, std::int32_t& divisions, bool batch,
                       std::int32_t& startMeasure, std::int32_t& stopMeasure);

// The same for a map file already loaded (`name` names it in messages): a
// run reads its map file once and decides from those bytes what it is.
MapReadOutcome ReadLoadedMap(const LoadedMap& file, const char* name, const MapRef& map,
                             const SettingsRef& settings);

}  // namespace beatmarks
