#pragma once

// The tempo map held in a Standard MIDI File (format 0 or 1, with a division
// in ticks per quarter note): its tempo changes, time signatures, markers,
// the first track's name and the end of its longest track. Everything else
// in the file is skipped.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace beatmarks {

// Largest time signature denominator read, as a power of two (1/256 notes).
inline constexpr int kMaxDenominatorPower = 8;

struct MidiTempo {
  std::uint64_t tick;
  std::uint32_t microsPerQuarter;  // 1 to 2^24 - 1
};

struct MidiMeter {
  std::uint64_t tick;
  int numerator;         // 1 to 255
  int denominatorPower;  // 0 to kMaxDenominatorPower
  int clocksPerClick;    // MIDI clocks (24 a quarter note) per metronome click, may be 0
};

struct MidiMarker {
  std::uint64_t tick;
  std::string text;  // the bytes as the file holds them
};

// Changes merged over all tracks and sorted by tick, one per tick: of those
// at the same tick the last one read wins (track order, then order in the
// track). The first entry of each list is always at tick 0; where the file
// sets nothing there it is the default, 120 quarter notes a minute or 4/4.
struct MidiMap {
  int format;
  int ticksPerQuarter;  // 1 to 32767
  std::vector<MidiTempo> tempos;
  std::vector<MidiMeter> meters;
  std::uint64_t endTick;  // the latest end of track
  // Whether the file has a tempo event and a time signature; where it has
  // none, 120 beats per minute and 4/4 stand at tick 0.
  bool tempoGiven = true;
  bool meterGiven = true;
  // Every marker of every track, sorted by tick (in the order read within a
  // tick), and the first track's name (the sequence's), empty without one.
  std::vector<MidiMarker> markers{};
  std::string trackName{};
};

inline constexpr std::uint32_t kDefaultMicrosPerQuarter = 500000;

// The bytes start like a Standard MIDI File ("MThd").
bool IsMidiFile(std::string_view bytes);

// Reads the tempo map of a whole file. On failure returns nothing and sets
// error to one line saying what is wrong (without the file name).
std::optional<MidiMap> ReadMidi(std::string_view bytes, std::string& error);

}  // namespace beatmarks
