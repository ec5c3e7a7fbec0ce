#pragma once

// Taps of a plain list (no M.B places) mended by what the recording holds
// (--snap), where the intervals alone cannot tell: a gap far longer than the
// beats around it gets the beats whose attacks the recording has at their
// even places, and a tap between two beats that leaves two short intervals
// is dropped where the recording has no attack near it but has the beats'
// attacks beside it. The beats' tempo is the intervals' around the gap (a
// broadening phrase stretches them), not one median.

#include <cstdint>
#include <string>
#include <vector>

#include "fit/beat_sources.h"
#include "listen/attacks.h"

namespace beatmarks {

// Mends `read` (a plain list) by `attacks` of its recording; the repairs
// join read.repairs in order of beat, marked heard.
void MendByAttacks(const AttackList& attacks, BeatsRead& read);

// The same, listing the recording's attacks first; a recording that cannot
// be read leaves the list as it is (the snap that follows says why).
void MendByRecording(const std::string& recording, BeatsRead& read);

}  // namespace beatmarks
