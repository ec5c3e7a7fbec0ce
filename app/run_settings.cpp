#include "app/run_settings.h"

#include <algorithm>

#include "core/number_scan.h"

namespace beatmarks {
namespace {

std::int32_t ShiftedIndex(std::int32_t index, std::int64_t shift) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(index + shift, INT32_MIN, INT32_MAX));
}

}  // namespace

std::int64_t FirstMeasureNumber(const Options& o, std::int64_t fallback) {
  return o.firstMeasure ? *o.firstMeasure : fallback;
}

void ApplyPositionalSettings(const std::vector<std::string>& p, ProgramState& s) {
  if (p.size() >= 3) s.sampleRate = DecimalInt32(p[2]);
  if (p.size() >= 4) s.startMeasure = MeasureIndex(DecimalInt32(p[3]));
  if (p.size() >= 5) s.stopMeasure = MeasureIndex(DecimalInt32(p[4]));
  if (p.size() == 6) s.divisions = DecimalInt32(p[5]);
}

void ApplyRunSettings(const Options& o, std::int64_t firstNumber, ProgramState& s) {
  ApplyPositionalSettings(o.positional, s);
  if (o.rate) s.sampleRate = *o.rate;
  if (o.start) s.startMeasure = *o.start - 1;
  if (o.stop) s.stopMeasure = *o.stop - 1;
  if (o.divisions) s.divisions = *o.divisions;
  // START and STOP count from the map's first measure as the run numbers it.
  const std::int64_t shift = 1 - firstNumber;
  const bool startGiven = o.start || o.positional.size() >= 4;
  const bool stopGiven = o.stop || o.positional.size() >= 5;
  if (startGiven) s.startMeasure = ShiftedIndex(s.startMeasure, shift);
  if (stopGiven) s.stopMeasure = ShiftedIndex(s.stopMeasure, shift);
}

}  // namespace beatmarks
