#pragma once

// The count-in a MIDI file begins with when measure 1 lies at an offset:
// whole measures of the first meter at the one tempo that fills the offset
// exactly. There are as many as the first tempo nearly fills, so that the
// DAW's bars go on before the song at its tempo, unless that tempo is one a
// DAW does not show (outside 20 to 300 quarter notes a minute, such as a
// first interval of a few microseconds): then the count-in keeps to that
// range, at the tempo nearest the first, or is one measure when the offset
// is shorter than a measure at 300.

#include <cstdint>
#include <string>

#include "exact/rational.h"

namespace beatmarks {

inline constexpr std::int64_t kSlowestCountIn = 20;   // quarter notes a minute
inline constexpr std::int64_t kFastestCountIn = 300;

struct CountIn {
  std::int64_t measures = 0;  // whole measures of the first meter, however long
  Rational microsPerQuarter;  // its tempo, filling the offset exactly
  Rational firstMicros;       // the first beat's tempo
  bool kept = false;          // the first tempo was out of the range: the count-in kept to it
};

// `offsetMicros` and `firstMicros` (the first beat's tempo) in microseconds
// a quarter note; a measure of `measureTicks` at `ticksPerQuarter`. Empty
// when planned, else why no count-in fits (an offset too short for a MIDI
// tempo of whole measures).
std::string PlanCountIn(const Rational& offsetMicros, const Rational& firstMicros,
                        std::int64_t measureTicks, std::int64_t ticksPerQuarter, CountIn& plan);

// ", count-in of 10 measures at 273.02 quarter notes a minute (the first
// beat's tempo, 2671802.28, is out of 20 to 300)", or empty when the count-in
// is at the first tempo.
std::string DescribeCountIn(const CountIn& plan);

}  // namespace beatmarks
