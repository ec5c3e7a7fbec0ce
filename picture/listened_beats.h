#pragma once

// The beats of a listened run that the picture marks: those found in the
// recording by following and those placed without an attack, and where
// following stopped after the last tap.

#include <string>

#include "core/walk_plan.h"
#include "picture/tempo_picture.h"

namespace beatmarks {

// Adds the plan's followed and placed beats (with their times) and the last
// beat followed after the last tap to the picture; nothing without origins.
void AddListenedBeats(const WalkPlan& plan, TempoPicture& picture);

}  // namespace beatmarks
