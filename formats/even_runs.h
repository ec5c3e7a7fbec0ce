#pragma once

// Runs of evenly spaced beats, each from a start in whole milliseconds (an
// osu! timing point, a Rekordbox TEMPO element): the reader places the k-th
// beat of a run at its start plus k beat lengths, until the next run. A run
// goes on while some beat length keeps all its beats within the bound of
// their exact times, and ends before a new meter.

#include <cstddef>
#include <vector>

#include "formats/beat_times.h"

namespace beatmarks {

enum class BeatLengths {
  kAny,                // any double (osu!)
  kHundredthsOfTempo,  // 60 s over a tempo of two decimals (Rekordbox)
};

struct EvenRun {
  std::size_t end = 0;    // one past its last beat
  double beatLength = 0;  // milliseconds
};

// The longest run from beat `first`, the reader placing it at `startMs`;
// `beatLength` is kept for a lone last beat (a length no next beat needs).
EvenRun LongestEvenRun(const std::vector<BeatTime>& beats, std::size_t first, double startMs,
                       double boundMs, BeatLengths lengths, double beatLength);

}  // namespace beatmarks
