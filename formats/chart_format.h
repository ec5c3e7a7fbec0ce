#pragma once

// A .chart file's tempo map (Clone Hero, Moonscraper): [Song] with Offset
// (seconds, the time of tick 0) and Resolution (ticks a quarter note), and
// [SyncTrack] events at ticks: "TS n e" (measures of n beats of a 1/2^e
// note, e left out for quarter notes) and "B t" (t thousandths of a quarter
// note a minute). A reader places a tick by adding up the ticks before it at
// the tempo in force, as StepMania does its beats (formats/tempo_runs.h);
// the plan keeps every beat within one tick of its exact time, a tick at the
// beat's own tempo, with as few tempo events as it can.

#include <cstdint>
#include <string>
#include <vector>

#include "formats/beat_times.h"
#include "formats/tempo_runs.h"

namespace beatmarks {

inline constexpr std::int32_t kChartResolution = 192;

struct ChartPlan {
  std::int64_t resolution = kChartResolution;
  std::int64_t offsetMicros = 0;   // the time of tick 0, beat 0's
  std::vector<TempoChange> tempos;  // places in ticks
  std::vector<MeterChange> meters;
  double largestDrift = 0;          // seconds, as a reader places the beats
};

// Why the beats cannot all lie on ticks at `resolution` (a meter whose note
// is no power of two, or a beat between two ticks); empty when they can.
std::string ChartMeterProblem(const std::vector<BeatTime>& beats, std::int64_t resolution);

ChartPlan PlanChartTiming(const std::vector<BeatTime>& beats, std::int64_t resolution);

// The whole file: `title` as its Name, `audio` as its MusicStream.
std::string ChartText(const ChartPlan& plan, const std::string& audio, const std::string& title);

}  // namespace beatmarks
