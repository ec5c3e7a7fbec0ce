#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/options.h"
#include "core/beat_walk.h"
#include "core/program_state.h"
#include "exact/rational.h"

namespace beatmarks {


// --format=wav: a click track (FLAC for a name ending in .flac) with a
// marker on every beat, or with --into the recording with those markers.
// Returns the exit status.
int AudioExport(const Options& options, const std::string& output, const TimelineMaker& make,
                ProgramState& state);

}  // namespace beatmarks
