#pragma once

#include <string>

#include "app/options.h"
#include "core/program_state.h"
#include "core/walk_plan.h"

namespace beatmarks {

// What an output is given: the options, the plan the input made, the state
// its settings came from, and OUTPUT.
struct OutputRequest {
  const Options& options;
  WalkPlan& plan;
  ProgramState& state;
  const std::string& output;
};

}  // namespace beatmarks
