#pragma once

#include <array>
#include <cstdint>

#include "core/capacity.h"

namespace beatmarks {

using TempoArray = std::array<float, N>;
using CountArray = std::array<std::int32_t, N>;
using NameBuffer = std::array<char, kNameSize>;
using CommandBuffer = std::array<char, kCommandSize>;
using TextBuffer = std::array<char, M>;

// Everything the program knows, owned by main for the whole run. Routines
// receive references to the members they read and write, never the record.
struct ProgramState {
  ProgramState();

  TempoArray tempo;
  CountArray beatsPerMeasure;
  CountArray measures;
  std::int32_t sectionCount = 0;
  std::int64_t totalMeasures = 0;  // exact, saturating
  std::int64_t totalBeats = 0;
  std::int32_t sampleRate = 44100;
  std::int32_t startMeasure = 0;  // 0-based
  std::int32_t stopMeasure = 0;   // 0-based, inclusive
  std::int32_t divisions = 1;
  bool mapLoaded = false;  // a map read was attempted
  bool showList = true;
  CommandBuffer command{};
  NameBuffer mapFileName{};
  NameBuffer outFileName{};
  TextBuffer outText{};
};

// After a map read a stop index of 0 counts as "not given": the range then
// reaches one past the map's last measure (held within the 32-bit range).
void ApplyStopDefault(std::int32_t& stopMeasure, std::int64_t totalMeasures);

}  // namespace beatmarks
