#pragma once

#include "core/walk_plan.h"
#include "files/export_file.h"

namespace beatmarks {

// The summary of a map fitted to a performance, one line per measure: its
// number, its first beat's time, its beats' tempos (slowest, mean, fastest),
// its meter and beats; then the total length and beats. Streamed in two
// walks (widths, then rows) with flat memory.
void WriteMeasureSummary(const WalkPlan& plan, ExportFile& out);

}  // namespace beatmarks
