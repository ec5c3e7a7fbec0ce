#pragma once

#include "app/output_request.h"

namespace beatmarks {

// --format=midi: the tempo map as a Standard MIDI File, planned in full and
// refused in one line before OUTPUT is opened. Returns the exit status.
int MidiOutput(const OutputRequest& request);

}  // namespace beatmarks
