#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exact/timecode.h"

namespace beatmarks {

// The command line in GNU form: options first, then the positional arguments
// MAP OUTPUT [RATE [START [STOP [DIVISIONS]]]]; "--" ends the options and "-"
// alone is a positional argument.
struct Options {
  bool given = false;  // at least one option was given
  bool help = false;
  bool version = false;
  std::string format = "list";  // "wav" when --into is given without a format
  bool formatGiven = false;
  bool exact = false;
  std::optional<std::string> offset;  // seconds, as typed
  std::optional<std::int32_t> rate, divisions;  // named settings
  std::optional<std::int64_t> start, stop;      // measure numbers: a map can pass 2^31 measures
  std::string beat = "denominator";
  bool beatGiven = false;
  std::optional<std::string> into;
  std::optional<std::int32_t> firstMeasure;  // the number of the map's first measure
  std::optional<std::string> maxDrift;       // seconds, as typed (midi)
  std::optional<std::int32_t> resolution;    // ticks a quarter note (chart)
  std::optional<std::string> locate;         // the file of times to place
  std::optional<std::string> fit;            // MAP holds beat times: "beat" or "measure"
  std::optional<std::int32_t> meter;         // beats per measure of fitted beat times
  bool compoundMeter = false;                // --meter=6/8, 9/8, 12/8: a beat is a dotted quarter
  std::optional<std::int32_t> pickup;        // beats of a list before its first downbeat
  bool strict = false;                       // fitted taps refused, not mended
  std::optional<std::string> snap;           // the recording the fitted beats are snapped to
  std::optional<std::string> snapWindow;     // seconds, as typed: how far a beat may move
  bool follow = false;                       // beats between and after the taps found in the recording
  bool quiet = false;                        // errors only, no other message
  std::optional<TimecodeRate> timecode;      // a video's frame rate: timecode columns, times read as timecode
  std::vector<std::string> positional;
};

}  // namespace beatmarks
