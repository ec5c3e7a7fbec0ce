#pragma once

#include "app/output_request.h"

namespace beatmarks {

// --locate: where each time of TIMES falls in the grid, in the chosen format
// (csv, labels or json). TIMES is read and checked whole before OUTPUT is
// opened. Returns the exit status.
int LocateOutput(const OutputRequest& request);

}  // namespace beatmarks
