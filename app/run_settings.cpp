#include "app/run_settings.h"

#include <algorithm>

#include "core/number_scan.h"

namespace beatmarks {
namespace {

// START or STOP as the run's measure index. A positional number within 32
// bits is read as it always was, to the bit: wrapping at INT32_MIN and held
// within 32 bits once counted from the first number. A larger one, where the
// map can be that long, and a named one are taken whole.
std::optional<std::int64_t> MeasureGiven(const std::optional<std::int64_t>& named,
                                         const std::vector<std::string>& p, std::size_t at,
                                         std::int64_t firstNumber, MeasureReach reach) {
  if (named) return *named - firstNumber;
  if (p.size() <= at) return std::nullopt;
  const std::int64_t number = DecimalInt64(p[at]);
  if (reach == MeasureReach::kWide && number > INT32_MAX) return number - firstNumber;
  const std::int64_t index = std::int64_t{MeasureIndex(DecimalInt32(p[at]))} + 1 - firstNumber;
  return std::clamp<std::int64_t>(index, INT32_MIN, INT32_MAX);
}

}  // namespace

std::int64_t FirstMeasureNumber(const Options& o, std::int64_t fallback) {
  return o.firstMeasure ? *o.firstMeasure : fallback;
}

void ApplyPositionalSettings(const std::vector<std::string>& p, ProgramState& s) {
  if (p.size() >= 3) s.sampleRate = DecimalInt32(p[2]);
  if (p.size() == 6) s.divisions = DecimalInt32(p[5]);
}

void ApplyRunSettings(const Options& o, ProgramState& s) {
  ApplyPositionalSettings(o.positional, s);
  if (o.rate) s.sampleRate = *o.rate;
  if (o.divisions) s.divisions = *o.divisions;
}

std::optional<std::int64_t> StopGiven(const Options& o, std::int64_t firstNumber, MeasureReach reach) {
  return MeasureGiven(o.stop, o.positional, 4, firstNumber, reach);
}

MeasureRange RunRange(const Options& o, std::int64_t firstNumber, std::int64_t mapMeasures,
                      const ProgramState& s, MeasureReach reach) {
  const std::int64_t mapStop = s.stopMeasure == 0 ? mapMeasures : s.stopMeasure;
  return {MeasureGiven(o.start, o.positional, 3, firstNumber, reach).value_or(s.startMeasure),
          StopGiven(o, firstNumber, reach).value_or(mapStop)};
}

}  // namespace beatmarks
