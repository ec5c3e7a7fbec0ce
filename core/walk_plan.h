#pragma once

// What every output of a run is given: the map as timelines with exact times
// (the offset already in them), the range and grid it walks, and how it
// numbers and names what it writes. An input makes it once; the output
// chosen writes from it.

#include <cstdint>
#include <optional>
#include <string>

#include "core/beat_origin.h"
#include "core/beat_walk.h"
#include "core/beat_walk_loop.h"
#include "exact/rational.h"
#include "exact/timecode.h"

namespace beatmarks {

struct WalkPlan {
  TimelineMaker timelines;          // the whole map, afresh each call
  Rational offset;                  // where measure 1 begins (seconds)
  std::int64_t start = 0;           // the range, 0-based measures, inclusive
  std::int64_t stop = 0;
  std::int32_t divisions = 1;       // a beat's divisions
  std::uint32_t rate = 44100;       // samples a second, 1 or more
  std::int64_t firstMeasureNumber = 1;  // the number measure 0 is shown with
  std::string mapName;              // MAP as given (the picture's title)
  BeatOrigins origins;              // listened runs: where each beat came from
  std::string recording;            // listened runs: the recording (the picture's title)
  std::optional<TimecodeRate> timecode;  // --timecode: the video's frame rate

  // Walks the range into a sink, its measures numbered as the run numbers them.
  void Walk(BeatSink& sink) const {
    sink.NumberMeasuresFrom(firstMeasureNumber);
    WalkBeats(*timelines(), start, stop, divisions, sink);
  }
  // The same, with the sink's own calls direct (a final sink class).
  template <class Sink>
  void WalkInto(Sink& sink) const {
    sink.NumberMeasuresFrom(firstMeasureNumber);
    WalkBeatsInto(*timelines(), start, stop, divisions, sink);
  }
};

}  // namespace beatmarks
