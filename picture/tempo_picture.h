#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace beatmarks {

// A tempo change: the tempo holds from start (seconds) until the next step or
// the end of the map.
struct TempoStep {
  double start;
  double bpm;
};

// A meter change, labelled as shown ("6/8").
struct MeterMark {
  double time;
  std::string label;
};

// A beat of a listened run found by following (placed: false) or placed
// without an attack (true).
struct ListenedBeat {
  double time;
  bool placed;
};

// Where following stopped: the last beat it found, labelled "M.B".
struct FollowMark {
  double time;
  std::string label;
};

// What the tempos count: beats as a text map gives them, or quarter notes
// (a MIDI map, drawn as sequencers show it whatever a beat is).
enum class TempoUnit { kBeats, kQuarterNotes };

// What the picture of a tempo map shows.
struct TempoPicture {
  double end = 0;                    // seconds, the end of the map
  std::vector<TempoStep> steps;      // in time order
  std::vector<MeterMark> meters;     // the first meter too, at time 0
  std::int64_t measureCount = 0;
  std::function<double(std::int64_t)> measureTime;  // start of measure k (0-based)
  std::string title;                 // any bytes; shown escaped
  TempoUnit tempoUnit = TempoUnit::kBeats;
  std::vector<MeterMark> names = {};  // where a named section begins, and its name
  std::int64_t firstMeasureNumber = 1;  // the number measure 0 is shown with
  std::vector<ListenedBeat> listened = {};  // in time order
  std::optional<FollowMark> followedTo = {};  // after the last tap
};

// Appends one complete SVG 1.1 document of 960 x 540: tempo against time as a
// step line, measure lines (thinned to about a hundred, the only measures
// whose times are asked for), meter changes, round axes that name their
// units, and the title; a listened run's followed beats as short teal ticks
// along the bottom, its placed ones as taller orange ones, and where
// following stopped as a dotted line named "followed to M.B".
// Values the picture cannot place are left out: steps without a finite
// positive tempo (the step before holds on), times outside 0..end, and a
// step that starts before the one before it starts with it. Tempos are shown
// within 1e-100..1e100 BPM.
void WriteTempoSvg(const TempoPicture& picture, std::string& out);

}  // namespace beatmarks
