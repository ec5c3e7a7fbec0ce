#pragma once

// The beats of a recording heard without taps (listen/hear.h) as a list of
// beats to fit, and what the run says of them.

#include <cstdint>
#include <string>
#include <vector>

#include "fit/beat_list.h"
#include "listen/hear.h"

namespace beatmarks {

// Every beat on its sample at the recording's rate, measures of the meter
// heard, the beats before the first downbeat a pickup (measure 0).
BeatList ListOfHeard(const HeardBeats& heard);

// "Heard 97 beats in 25 measures of 4/4, 96-108 bpm"; `meter` as the run
// names it ("4/4", "6/8").
std::string DescribeHeard(const HeardBeats& heard, const BeatList& beats, const std::string& meter);

// "Unsure from M.B at T s: tap a bar there" for the first downbeat where
// the bar line is a guess, and for each beat after which the beat was lost
// while the playing went on.
std::vector<std::string> UnsureLines(const HeardBeats& heard, const BeatList& beats, std::int64_t firstNumber);

}  // namespace beatmarks
