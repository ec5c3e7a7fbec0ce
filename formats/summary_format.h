#pragma once

#include <cstdint>

#include "core/beat_walk.h"
#include "core/walk_plan.h"
#include "files/export_file.h"

namespace beatmarks {

// The map at a glance, for people: one line per section of a text map (per
// stretch between changes of a MIDI map) with its name, first measure, start
// (m:ss.mmm and seconds), tempo as written (and in quarter notes a minute for
// MIDI), meter, measures and length; then the total length and beats.
void WriteSummary(const WalkPlan& plan, ExportFile& out);

}  // namespace beatmarks
