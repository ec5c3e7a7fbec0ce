#pragma once

#include "app/output_request.h"

namespace beatmarks {

// --format=osu and --format=sm: the tempo map as a rhythm game's chart keeps
// it, planned in full before OUTPUT is opened; the run says how many tempo
// changes it took and the largest drift of a beat. Return the exit status.
int OsuOutput(const OutputRequest& request);
int SmOutput(const OutputRequest& request);

}  // namespace beatmarks
