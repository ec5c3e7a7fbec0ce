#pragma once

// A Rekordbox collection XML (DJ_PLAYLISTS) holding one track and its beat
// grid as TEMPO elements: Inizio (the start, seconds with 3 decimals), Bpm
// (2 decimals), Metro (the meter) and Battito (the start's beat in its bar,
// 1 to n). Rekordbox places the k-th beat of an element at Inizio plus k
// beats of its tempo, until the next element; the plan keeps every beat
// within a bound (1 ms by default) of its exact time with as few elements as
// it can, and starts one where the meter changes.

#include <cstdint>
#include <string>
#include <vector>

#include "formats/beat_times.h"

namespace beatmarks {

struct RekordboxTempo {
  std::int64_t start = 0;     // milliseconds
  std::int64_t tempo = 0;     // hundredths of a beat a minute
  std::int32_t numerator = 4, denominator = 4;
  std::int32_t beat = 1;      // the start's beat in its bar, from 1
};

struct RekordboxPlan {
  std::vector<RekordboxTempo> tempos;
  std::int64_t averageTempo = 0;  // hundredths, over the whole range
  double largestDrift = 0;        // seconds, as the reader places the beats
};

// Plans the grid of the beats; `bound` in seconds.
RekordboxPlan PlanRekordboxGrid(const std::vector<BeatTime>& beats, double bound);

// The whole file: one track named `name`, its audio at `path` (a file URL
// is made of it).
std::string RekordboxText(const RekordboxPlan& plan, const std::string& path, const std::string& name);

}  // namespace beatmarks
