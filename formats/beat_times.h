#pragma once

// The beats of a plan's range as plain times, for the formats that keep a
// tempo map in their own rounded units (rhythm-game charts): each beat's
// time to the nearest double, its place and the meter it falls in.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/walk_plan.h"

namespace beatmarks {

struct BeatTime {
  double seconds = 0;
  std::int64_t measure = 0;       // 0-based
  std::int32_t beat = 0;          // 0-based within the measure
  std::int32_t beatsPerMeasure = 4;
  // The beat's note, noteNumerator/noteValue of a whole note: 1/4 where the
  // map says none, 1/8 for an eighth-note beat, 3/8 for a dotted quarter.
  std::int32_t noteValue = 4;
  std::int32_t noteNumerator = 1;
  // The map's time signature, where it differs from beatsPerMeasure/noteValue
  // (6/8 of two dotted quarters), else 0.
  std::int32_t timeNumerator = 0, timeDenominator = 0;

  // The time signature to write.
  std::int32_t MeterNumerator() const { return timeDenominator > 0 ? timeNumerator : beatsPerMeasure; }
  std::int32_t MeterDenominator() const { return timeDenominator > 0 ? timeDenominator : noteValue; }
};

// A chart holds its beats in memory: a range of more is refused.
inline constexpr std::size_t kMostChartBeats = 1000000;

// Every beat of the range in order (divisions left out); false, with the
// beats collected so far, when the range has more than kMostChartBeats.
bool CollectBeatTimes(const WalkPlan& plan, std::vector<BeatTime>& beats);

}  // namespace beatmarks
