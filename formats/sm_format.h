#pragma once

// A StepMania simfile's timing: #OFFSET (seconds, 3 decimals: minus the time
// of beat 0), #BPMS (beat=tempo pairs, both with 3 decimals, a beat a quarter
// note) and #TIMESIGNATURES (beat=numerator=denominator). StepMania places a
// beat by adding up the quarter notes before it at the tempo in force, so the
// rounding of each tempo adds up; the plan keeps every beat within a bound
// (1 ms by default) of its exact time with as few tempo changes as it can:
// a tempo stays while some tempo of 3 decimals keeps all its beats in bound,
// counted from where the reader put the beat it began on.

#include <cstdint>
#include <string>
#include <vector>

#include "formats/beat_times.h"
#include "formats/tempo_runs.h"

namespace beatmarks {

struct SmPlan {
  std::int64_t offset = 0;   // thousandths of a second: minus beat 0's time
  std::vector<TempoChange> tempos;  // places in thousandths of a quarter note
  std::vector<MeterChange> meters;
  double largestDrift = 0;   // seconds, as a reader places the beats
};

// Plans the timing of the beats; `bound` in seconds.
SmPlan PlanSmTiming(const std::vector<BeatTime>& beats, double bound);

std::string SmText(const SmPlan& plan, const std::string& audio, const std::string& title);

// A name as a tag's value: the characters that end a value or a tag
// (";", ":", "#") and the escape itself escaped with a backslash.
std::string MsdValue(const std::string& text);

// The #OFFSET, #BPMS and #TIMESIGNATURES lines, which a .ssc file shares.
std::string SmTimingTags(const SmPlan& plan);

}  // namespace beatmarks
