#pragma once

// The measures and beats a MIDI tempo map implies, and the exact time of any
// position in it. All arithmetic is on integers and exact fractions.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "midi/midi_file.h"

namespace beatmarks {

enum class BeatUnit {
  kDenominator,  // the time signature's note value: 6/8 has six beats
  kQuarter,      // a quarter note: 6/8 has three
  kClick,        // the metronome click: 6/8 clicking every 36 clocks has two
};

// "denominator", "quarter" or "click".
std::optional<BeatUnit> ParseBeatUnit(std::string_view word);

// A whole number of ticks over a positive denominator; lengths are kept
// reduced, positions over the denominator they were built on.
struct TickFraction {
  unsigned __int128 num;
  std::uint64_t den;
};

// A run of measures in one time signature, from a time signature change up to
// the next change or the end of the map.
struct MeterRun {
  std::uint32_t firstMeasure;  // 1-based
  std::uint64_t startTick;
  MidiMeter meter;
  std::uint32_t beatsPerMeasure;
  TickFraction beatTicks;
  std::uint32_t wholeMeasures;
  // Beats of a last measure cut short by the next change, 0 if none: the
  // beats that begin before the change, the last of them possibly shorter.
  std::uint32_t cutBeats;
};

// Time at the tempo's tick: StartTime() / (ticksPerQuarter x 1,000,000)
// seconds. That is below 2^88, so it is kept in 96 bits: a long map's
// segments take 24 bytes each, not 32.
struct TempoSegment {
  TempoSegment(std::uint64_t at, std::uint32_t micros, unsigned __int128 start)
      : tick(at), startLow(static_cast<std::uint64_t>(start)),
        startHigh(static_cast<std::uint32_t>(start >> 64)), microsPerQuarter(micros) {}
  unsigned __int128 StartTime() const { return static_cast<unsigned __int128>(startHigh) << 64 | startLow; }

  std::uint64_t tick;
  std::uint64_t startLow;
  std::uint32_t startHigh;
  std::uint32_t microsPerQuarter;
};

struct MidiGrid {
  int ticksPerQuarter;
  std::vector<MeterRun> runs;  // none when the map ends at tick 0
  std::vector<TempoSegment> tempos;
  std::uint32_t measureCount;
  TickFraction endTick;  // the bar line where the map ends
  // The markers that name the sections from their tick on, one a tick (the
  // last one read there), before the end of the map.
  std::vector<MidiMarker> markers = {};
};

// Maps are refused past this many measures, the most a measure number holds,
// or when their end of track lies past kMaxGridTick: beyond it the exact times
// of divisions could outgrow 128 bits.
inline constexpr std::uint32_t kMaxGridMeasures = 2147483647;
inline constexpr std::uint64_t kMaxGridTick = std::uint64_t{1} << 48;

// The grid of a map as ReadMidi gives it (changes sorted by tick, one of each
// kind at tick 0). On failure returns nothing and sets
// error to one line.
std::optional<MidiGrid> BuildGrid(const MidiMap& map, BeatUnit unit, std::string& error);

// Seconds as an exact fraction.
struct ExactTime {
  unsigned __int128 num;
  unsigned __int128 den;
};

// The time of any position up to 2^49 ticks with a denominator below 2^41.
ExactTime TimeAt(const MidiGrid& grid, const TickFraction& position);
// The tempo segment in force at the position: `hint` where it is that one,
// else found by a search.
std::size_t SegmentAt(const MidiGrid& grid, const TickFraction& position, std::size_t hint);
// The same time in that segment.
ExactTime TimeAt(const MidiGrid& grid, const TickFraction& position, std::size_t segment);

}  // namespace beatmarks
