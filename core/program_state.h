#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/capacity.h"

namespace beatmarks {

using TempoArray = std::array<float, N>;
using CountArray = std::array<std::int32_t, N>;
using NameBuffer = std::array<char, kNameSize>;
using CommandBuffer = std::array<char, kCommandSize>;
using TextBuffer = std::array<char, M>;
// Each section's tempo as the map file wrote it (canonical decimal, see
// MapTempoText), for exact times; empty where the tempo was not read so.
using TempoTexts = std::array<std::string, N>;
// Each section's name: the text before `tmap` on its line, or empty.
using SectionNames = std::array<std::string, N>;

// Everything the program knows, owned by main for the whole run. The classic
// routines (Display, ReadMap, WriteData) receive references to the members
// they read and write; below them the libraries take the views that follow;
// the menu and the runs of the command line take the record.
struct ProgramState {
  ProgramState();

  TempoArray tempo;
  TempoTexts tempoText;
  SectionNames sectionName;
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

// The sections of a map as the walk reads them: the first `count` entries.
struct SectionTable {
  int count;
  const TempoArray& tempo;
  const CountArray& beatsPerMeasure;
  const CountArray& measures;
  const TempoTexts* tempoText = nullptr;  // exact tempos, where known
  const SectionNames* names = nullptr;    // where known
};

// The map a map read replaces: its sections and the totals it counted.
struct MapRef {
  std::int32_t& sectionCount;
  std::int64_t& totalMeasures;
  std::int64_t& totalBeats;
  TempoArray& tempo;
  CountArray& beatsPerMeasure;
  CountArray& measures;
  TempoTexts* tempoText = nullptr;  // filled by text maps when given
  SectionNames* names = nullptr;    // likewise
};

// The settings a map file may give.
struct SettingsRef {
  std::int32_t& sampleRate;
  std::int32_t& divisions;
  std::int32_t& startMeasure;
  std::int32_t& stopMeasure;
};

MapRef MapOf(ProgramState& state);
SettingsRef SettingsOf(ProgramState& state);

// After a map read a stop index of 0 counts as "not given": the range then
// reaches one past the map's last measure (held within the 32-bit range).
void ApplyStopDefault(std::int32_t& stopMeasure, std::int64_t totalMeasures);

}  // namespace beatmarks
