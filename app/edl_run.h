#pragma once

#include "app/output_request.h"

namespace beatmarks {

// --format=edl: a marker list for a video editor, at the frame rate
// --timecode gives; a marker on every measure, or on every division when
// the divisions are given (-d or DIVISIONS). Returns the exit status.
int EdlOutput(const OutputRequest& request);

}  // namespace beatmarks
