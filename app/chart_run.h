#pragma once

#include "app/output_request.h"

namespace beatmarks {

// --format=osu, sm, ssc, chart and rekordbox: the tempo map as a rhythm
// game's chart or a DJ library's beat grid keeps it, planned in full before
// OUTPUT is opened; the run says how many tempo changes it took and the
// largest drift of a beat. Return the exit status.
int OsuOutput(const OutputRequest& request);
int SmOutput(const OutputRequest& request);
int SscOutput(const OutputRequest& request);
int ChartOutput(const OutputRequest& request);
int RekordboxOutput(const OutputRequest& request);

}  // namespace beatmarks
