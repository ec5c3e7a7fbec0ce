#pragma once

#include "app/output_request.h"

namespace beatmarks {

// --format=wav: a click track (FLAC for a name ending in .flac) with a
// marker on every beat, or with --into the recording with those markers.
// Returns the exit status.
int AudioOutput(const OutputRequest& request);

}  // namespace beatmarks
