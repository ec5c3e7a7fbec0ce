#pragma once

// The beats of a list moved onto the samples of a recording (--snap): every
// beat keeps its place in the grid and takes its time from a sample position
// at the recording's rate, exactly.

#include <cstdint>
#include <string>
#include <vector>

#include "core/beat_origin.h"
#include "fit/beat_list.h"
#include "listen/snap.h"

namespace beatmarks {

// What a snap did, for the run to tell: the report line and a warning a
// beat left as tapped or moved off a doubled attack.
struct BeatsSnapped {
  SnapResult result;
  // One a beat of the list: snapped (on its attack) or tapped (left as
  // tapped); kNone for a beat not snapped (`only`).
  std::vector<BeatOrigin> origins;
  std::vector<std::string> warnings;  // at most `lines`, then a count
};

// Snaps the beats to RECORDING and puts them on its samples; false with one
// line in `error` for a recording that cannot serve. With `only`, one flag a
// beat, the beats flagged are snapped and the others put on their nearest
// sample.
bool SnapBeats(const std::string& recording, const SnapSettings& settings,
               std::int64_t firstNumber, std::size_t lines, BeatList& beats,
               BeatsSnapped& snapped, std::string& error, const std::vector<bool>& only = {});

// "Snapped N of M beats to attacks (median shift X ms, largest Y ms), K left as tapped"
std::string DescribeSnap(const SnapResult& result);

}  // namespace beatmarks
