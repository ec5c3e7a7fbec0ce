#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/options.h"
#include "core/program_state.h"

namespace beatmarks {

// The measures a run walks: 0-based indices, inclusive. The sections of a
// text map can pass 2^31 measures together, so a run's range is 64-bit; the
// menu keeps its 32-bit settings in ProgramState.
struct MeasureRange {
  std::int64_t start = 0;
  std::int64_t stop = 0;
};

// The number the options give the map's first measure, else `fallback`
// (1, or what a fit's positions number it).
std::int64_t FirstMeasureNumber(const Options& options, std::int64_t fallback = 1);

// RATE and DIVISIONS as the command line has always read them (the sixth
// counts only when it is the last), over what the map file set.
void ApplyPositionalSettings(const std::vector<std::string>& positional, ProgramState& state);

// The positional rate and divisions, then the named ones over them.
void ApplyRunSettings(const Options& options, ProgramState& state);

// How START and STOP may reach: past 2^31 where the map can be that long,
// else (the default section alone) within 32 bits, as they always have.
enum class MeasureReach { kWide, k32Bit };

// STOP as a measure index, where the command line gives it: counted from
// `firstNumber`, the number the run gives the map's first measure.
std::optional<std::int64_t> StopGiven(const Options& options, std::int64_t firstNumber,
                                      MeasureReach reach = MeasureReach::kWide);

// The range of a run: START and STOP where the command line gives them,
// else the map file's start and stop in `state`, a stop of 0 reaching the
// map's end (`mapMeasures`).
MeasureRange RunRange(const Options& options, std::int64_t firstNumber, std::int64_t mapMeasures,
                      const ProgramState& state, MeasureReach reach = MeasureReach::kWide);

}  // namespace beatmarks
