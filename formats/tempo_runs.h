#pragma once

// Tempo changes at places counted in fixed steps of a quarter note
// (thousandths for StepMania, ticks for a .chart file), each tempo in
// thousandths of a quarter note a minute. Such a reader places a beat by
// adding up the quarter notes before it at the tempo in force, so the
// rounding of each tempo carries on; the plan keeps every beat within its
// own bound of its exact time with as few changes as it can: a tempo stays
// while some tempo of whole thousandths keeps all its beats in bound, counted
// from where the reader put the beat it began on, and a new meter starts a
// run on its first beat.

#include <cstdint>
#include <vector>

#include "formats/beat_times.h"

namespace beatmarks {

struct TempoChange {
  std::int64_t place = 0;  // steps from beat 0
  std::int64_t tempo = 0;  // thousandths of a quarter note a minute
};

struct MeterChange {
  std::int64_t place = 0;  // steps from beat 0
  std::int32_t numerator = 4, denominator = 4;
};

struct TempoRuns {
  std::vector<TempoChange> tempos;
  std::vector<MeterChange> meters;
  double largestDrift = 0;  // seconds, as a reader places the beats
};

// Each beat's place from the first in steps of 1/stepsPerQuarter of a
// quarter note (a beat is 4 noteNumerator/noteValue quarter notes), to the
// nearest step.
std::vector<std::int64_t> BeatPlaces(const std::vector<BeatTime>& beats, std::int64_t stepsPerQuarter);

// Plans the tempos of `beats` at `places`; `start` is the time (seconds) the
// reader gives beat 0, `bounds` each beat's bound in seconds.
TempoRuns PlanTempoRuns(const std::vector<BeatTime>& beats, const std::vector<std::int64_t>& places,
                        std::int64_t stepsPerQuarter, double start, const std::vector<double>& bounds);

}  // namespace beatmarks
