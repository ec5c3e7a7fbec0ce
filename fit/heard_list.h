#pragma once

// The beats of a recording heard without taps (listen/hear.h) as a list of
// beats to fit, and what the run says of them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fit/beat_list.h"
#include "listen/hear.h"

namespace beatmarks {

// Every beat on its sample at the recording's rate, measures of the meter
// heard, the beats before the first downbeat a pickup (measure 0).
BeatList ListOfHeard(const HeardBeats& heard);

// One tap beside a recording heard whole: where a bar line is.
struct TapAnchor {
  double seconds = 0;
  std::int32_t beat = 0;  // of the measure, from 0
  std::int64_t measure = 1;
  std::int32_t pickup = 0;  // --pickup: the tap is the first of so many beats before 1.1
};

// The one beat of `taps` as an anchor: its M.B place, else 1.1, or with
// `pickup` the first of so many beats before 1.1.
TapAnchor AnchorOf(const BeatList& taps, std::optional<std::int32_t> pickup);

// ListOfHeard numbered from the tap: the beat heard nearest it (`tapped`)
// takes its place. False with the reason in `error` where no beat heard
// lies within a quarter of a beat of it.
bool ListFromTap(HeardBeats& heard, const TapAnchor& tap, BeatList& list, std::size_t& tapped,
                 std::string& error);

// "Heard 97 beats in 25 measures of 4/4, 96-108 bpm"; `meter` as the run
// names it ("4/4", "6/8").
std::string DescribeHeard(const HeardBeats& heard, const BeatList& beats, const std::string& meter);

// "Unsure from M.B at T s: tap a bar there" for the first downbeat where
// the bar line or the tempo is a guess, and for each beat after which the beat was lost
// while the playing went on.
std::vector<std::string> UnsureLines(const HeardBeats& heard, const BeatList& beats, std::int64_t firstNumber);

}  // namespace beatmarks
