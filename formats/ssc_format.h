#pragma once

// A StepMania 5 .ssc file holding the tempo map: #VERSION, the song's title
// and music, and the same #OFFSET, #BPMS and #TIMESIGNATURES as a .sm file,
// planned alike (formats/sm_format.h). It has no steps: the editor adds them.

#include <string>

#include "formats/sm_format.h"

namespace beatmarks {

std::string SscText(const SmPlan& plan, const std::string& audio, const std::string& title);

}  // namespace beatmarks
