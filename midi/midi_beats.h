#pragma once

// Bars and beats as the MIDI export writes them: a time signature's bytes,
// and where a stretch's beats in the range are.

#include <cstdint>
#include <string>

#include "core/beat_walk.h"

namespace beatmarks {

// A time signature as written: FF 58 04 numerator, power of two, MIDI clocks a click, 8.
struct TimeSignature {
  int numerator = 0;
  int power = 0;
  int clocks = 24;
  bool operator==(const TimeSignature&) const = default;
  std::string Bytes() const {
    return {static_cast<char>(numerator), static_cast<char>(power), static_cast<char>(clocks), 8};
  }
};

// A beat's ticks: `ticksPerQuarter`, or the beat of a stretch with a time
// signature (a MIDI map, a compound meter's dotted quarter) as a fraction of
// a whole note; and `meter` (numerator from the stretch's beats, a quarter
// note's power) as that time signature. Empty, or why no MIDI file holds them.
std::string BeatAndMeterOf(const Stretch& s, std::uint32_t ticksPerQuarter, std::uint32_t& beatTicks,
                           TimeSignature& meter);

// Where a stretch's beats in the range are.
struct BeatSpan {
  DivisionCount first = 0;  // the first one's division in the stretch
  DivisionCount count = 0;
  std::int64_t measure = 0, lastMeasure = 0;  // of the first and of the last
  std::int32_t beat = 0, lastBeat = 0;
};

// The beats of the stretch (its divisions on a beat) in the measures
// start..stop (0-based, inclusive); a count of 0 when none is.
BeatSpan BeatsIn(const Stretch& s, std::int32_t divisions, std::int64_t start, std::int64_t stop);

}  // namespace beatmarks
