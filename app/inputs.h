#pragma once

// The inputs of a run, each read once: the map file gives the plan the
// outputs write from, and the run's settings are applied to the state on the
// way. When an input cannot give a plan it has said why, and the run ends
// with the status it leaves in `status`.

#include <optional>
#include <string>

#include "app/options.h"
#include "app/run_settings.h"
#include "core/map_file.h"
#include "core/program_state.h"
#include "core/walk_plan.h"

namespace beatmarks {

// A text map read into the state, with the run's settings, and the range
// the run walks; false when it could not be read or holds no tmap line.
bool ReadTextMap(const Options& options, const LoadedMap& map, ProgramState& state,
                 MeasureRange& range, int& status);

// The plan of the text map in the state over `range`, with exact times from
// --offset.
std::optional<WalkPlan> TextMapPlan(const Options& options, ProgramState& state,
                                    const MeasureRange& range, int& status);

// A Standard MIDI File (its bytes), in the chosen beat unit.
std::optional<WalkPlan> MidiPlan(const Options& options, const std::string& bytes,
                                 ProgramState& state, int& status);

// MAP as the beat times of a performance (--fit), and the map fitted to them.
std::optional<WalkPlan> FittedPlan(const Options& options, ProgramState& state, int& status);

}  // namespace beatmarks
