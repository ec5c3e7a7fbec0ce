#pragma once

// An osu! beatmap holding the tempo map: a minimal file naming the audio,
// and its [TimingPoints]. osu! places the k-th beat after an uninherited
// timing point at time + k x beatLength, the time in whole milliseconds and
// the beat length a decimal; the plan keeps every beat within a bound (1 ms
// by default) of its exact time with as few timing points as it can: the one
// in force stays while some beat length keeps all its beats in bound, and a
// new one starts on the first beat none does, or where the meter changes.

#include <cstdint>
#include <string>
#include <vector>

#include "formats/beat_times.h"

namespace beatmarks {

struct OsuTimingPoint {
  std::int64_t time = 0;   // milliseconds
  double beatLength = 0;   // milliseconds, written in its shortest exact form
  std::int32_t meter = 4;
};

struct OsuPlan {
  std::vector<OsuTimingPoint> points;
  double largestDrift = 0;  // seconds, as a reader places the beats
};

// Plans the timing points of the beats; `bound` in seconds.
OsuPlan PlanOsuTiming(const std::vector<BeatTime>& beats, double bound);

// The whole file: `audio` named in [General], `title` in [Metadata].
std::string OsuText(const OsuPlan& plan, const std::string& audio, const std::string& title);

}  // namespace beatmarks
