#pragma once

// The other walk of a timeline: its stretches one by one, for what is said
// of sections (summary, JSON sections, the picture, the MIDI plan, the grid
// of --locate, the menu's sections of a MIDI file). The beat walk
// (beat_walk.h) is for divisions; this one is for stretches as a whole.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/beat_walk.h"
#include "exact/rational.h"

namespace beatmarks {

enum class StretchTimes {
  kEvery,  // every stretch comes with its exact times
  kAsked,  // the visitor asks for them (Timeline::AddTimes) where it needs them
};

// Calls `visit` with each stretch of the timeline in order, until it returns
// false.
void WalkStretches(Timeline& timeline, StretchTimes times,
                   const std::function<bool(Stretch& stretch, Timeline& timeline)>& visit);

using NamedStarts = std::vector<std::pair<Rational, std::string>>;

// When each section begins and its name, for --locate: every section of a
// text map; a MIDI map's markers (with no name before the first); none for a
// MIDI map without markers or fitted beats. Taken from a walk that may serve
// something else as well (the grid of --locate is built in the same walk).
class NamedSectionWalk {
 public:
  void Visit(Stretch& stretch, Timeline& timeline);
  NamedStarts Take() { return named_ && timed_ ? std::move(sections_) : NamedStarts{}; }

 private:
  NamedStarts sections_;
  const std::string* last_ = nullptr;
  bool named_ = false, timed_ = true;
};

}  // namespace beatmarks
