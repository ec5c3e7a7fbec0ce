#pragma once

#include <string>

#include "core/beat_walk.h"
#include "core/walk_plan.h"
#include "files/export_file.h"
#include "picture/tempo_picture.h"

namespace beatmarks {

// The picture of a whole map from its timeline: a tempo step at every tempo
// change, also one inside a beat, a meter mark wherever the meter changes,
// and the time of any measure. A MIDI map's tempos are in quarter notes a
// minute, whatever its beat. Times are doubles, which is plenty for drawing.
TempoPicture BuildPicture(Timeline& timeline, std::int32_t divisions, std::string title);

// The picture of the plan's whole map as SVG, its measures numbered as the
// run numbers them and titled with the map's name (a listened run's with the
// recording's), a listened run's followed and placed beats marked.
void WritePicture(const WalkPlan& plan, ExportFile& out);

}  // namespace beatmarks
