#include "classic/read_map.h"

#include <cstring>
#include <string>
#include <string_view>

#include "core/map_file.h"
#include "core/capacity.h"
#include "midi/midi_file.h"
#include "midi/midi_sections.h"
#include "tmap/text_map.h"
#include "terminal/input.h"
#include "terminal/output.h"
#include "terminal/prompt_name.h"

namespace beatmarks {
namespace {

// The count line shows the totals as they have always been shown: in 32 bits.
std::int32_t Wrapped32(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

void ReportCounts(std::int32_t sections, std::int64_t totalMeasures, std::int64_t totalBeats) {
  Print("Read %i sections, %i measures, %i beats\n", sections, Wrapped32(totalMeasures),
        Wrapped32(totalBeats));
}

// The keywords of a text map, and what was read.
void ReadMapText(std::string_view bytes, const MapRef& m, const SettingsRef& settings) {
  const TextMapRead read = ParseTextMap(bytes, m, settings);
  ReportCounts(m.sectionCount, m.totalMeasures, m.totalBeats);
  if (read.sectionLines > kMaxSectionsRead) {
    Print("Warning: only %i sections are kept; the map has %lli\n", kMaxSectionsRead,
          static_cast<long long>(read.sectionLines));
  }
}

}  // namespace

MapReadOutcome ReadMap(std::int32_t& sectionCount, std::int64_t& totalMeasures,
                       std::int64_t& totalBeats, TempoArray& tempo, CountArray& measures,
                       CountArray& beatsPerMeasure, NameBuffer& mapFileName,
                       std::int32_t& sampleRate, std::int32_t& divisions, bool batch,
                       std::int32_t& startMeasure, std::int32_t& stopMeasure) {
  if (!batch && !PromptForName("Enter name of tempo map file", mapFileName)) {
    return MapReadOutcome::kNoFileName;
  }
  return ReadLoadedMap(LoadMap(mapFileName.data()), mapFileName.data(),
                       {sectionCount, totalMeasures, totalBeats, tempo, beatsPerMeasure, measures},
                       {sampleRate, divisions, startMeasure, stopMeasure});
}

MapReadOutcome ReadLoadedMap(const LoadedMap& file, const char* name, const MapRef& map,
                             const SettingsRef& settings) {
  if (file.status != MapFileStatus::kLoaded) {
    Print(file.status == MapFileStatus::kTooLarge ? "Error: Tempo map file too large (over 64 MiB)!\n"
                                                  : "File not found!\n");
    return MapReadOutcome::kNotRead;
  }
  if (IsMidiFile(file.bytes)) {
    std::string error;
    if (!MidiToSections(file.bytes, map, error)) {
      Print("Error: %s: %s\n", name, error.c_str());
      return MapReadOutcome::kNotRead;
    }
    ReportCounts(map.sectionCount, map.totalMeasures, map.totalBeats);
    return MapReadOutcome::kRead;
  }
  ReadMapText(file.bytes, map, settings);
  return MapReadOutcome::kRead;
}

}  // namespace beatmarks
