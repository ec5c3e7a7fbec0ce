#pragma once

#include "core/walk_plan.h"
#include "files/export_file.h"

namespace beatmarks {

// The list layout with exact seconds and samples (--exact, and the list of
// a MIDI map or fitted beats): the rate block, then the range.
void WriteExactList(const WalkPlan& plan, ExportFile& out);

}  // namespace beatmarks
