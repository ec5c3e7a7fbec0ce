#pragma once

// The beat grid walked once, whatever is made of it. A timeline gives the
// grid as stretches, each with one meter and one time per division; the walk
// turns them into events for a sink: the divisions passed before the range
// (counted, not visited), each division inside the range, and each measure
// end that leads into the range. Nothing after the range is walked.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/time_advance.h"
#include "exact/exact_time.h"

namespace beatmarks {

// Which kind of map a stretch comes from: what it says beyond its grid.
enum class StretchSource {
  kTextMap,  // a section of a text map: its tempo as written, maybe a name
  kMidi,     // a MIDI map: time signature, beat unit, quarter-note tempo, markers
  kFitted,   // beats of a performance: none of these
};

// A run of divisions with one meter and one tempo, from where it begins to
// where the next begins.
struct Stretch {
  StretchSource source = StretchSource::kTextMap;
  std::int32_t number = 1;          // 1-based, shown in section headers
  float tempo = 120.0f;             // beats per minute, as the map stores it
  // The same exactly, numerator / denominator beats a minute, where the
  // timeline knows it in machine integers (fitted beats); else denominator 0.
  unsigned __int128 tempoNumerator = 0;
  std::uint64_t tempoDenominator = 0;
  const std::string* tempoText = nullptr;  // the tempo as a text map wrote it
  const std::string* name = nullptr;       // the section's name, where it has one
  std::int32_t beatsPerMeasure = 4;
  // The time signature, where the map has one (a MIDI file, beats fitted in
  // a compound meter), else 0.
  std::int32_t meterNumerator = 0, meterDenominator = 0;
  std::int64_t measures = 0;        // measures that begin in it
  // Whether it begins a section of its own, as summaries show them: every
  // section of a text map; a MIDI stretch on a bar line (a new meter
  // begins on one) or with a new marker, not a change inside a measure;
  // never a stretch of fitted beats, which are spans between beats.
  bool startsSection = true;
  std::int64_t firstMeasure = 0;    // 0-based position of its first division
  std::int32_t firstBeat = 0;
  std::int32_t firstDivision = 0;
  DivisionCount divisions = 0;      // divisions in it
  std::optional<LinearTime> time;   // exact times, when the timeline makes them
  // A MIDI map's tempo in quarter notes a minute, and its beat as a fraction
  // of a whole note (1/8 for eighth-note beats, 3/8 for dotted-quarter
  // clicks; 3/8 for beats fitted in a compound meter, whose quarter tempo is
  // 0); 0 for a text map.
  double quarterTempo = 0;
  std::int32_t beatNoteNumerator = 0, beatNoteDenominator = 0;
  // When the change that begins the stretch takes effect, set with the times
  // where it may come before the first division (a MIDI tempo change inside
  // a beat). A MIDI stretch too short to hold a division has number 0.
  std::optional<Rational> changeTime;

  bool HasTempoText() const { return tempoText != nullptr; }
  bool HasTimeSignature() const { return meterDenominator > 0; }
  bool HasQuarterTempo() const { return quarterTempo > 0; }
  // Its name, else "Section N".
  std::string Label() const;
  // When it takes effect: its change, else its first division (with times).
  Rational Start() const;
};

// Where the walk takes its stretches from, in order.
class Timeline {
 public:
  virtual ~Timeline() = default;
  // The next stretch, or false after the last.
  virtual bool Next(Stretch& stretch) = 0;
  // Gives the stretch that Next gave last its exact times, where the
  // timeline makes them only on demand.
  virtual void AddTimes(Stretch&) {}
  // The nearest double of the first division's time of the stretch that
  // Next gave last, where the timeline has it without making its times;
  // else nothing (AddTimes then).
  virtual std::optional<double> FirstNearest() const { return std::nullopt; }
  // About how many stretches the walk gives (at least as many, where it is
  // not 0), where the timeline knows it cheaply: room is made for them once.
  virtual std::size_t StretchesHint() const { return 0; }
  // A timeline that goes on from where this one is, on its own: what it
  // reads from (the map) must outlive both.
  virtual std::unique_ptr<Timeline> Copy() const = 0;
};

struct BeatEvent {
  const Stretch& stretch;
  DivisionCount index;  // division within the stretch
  std::int64_t measure;  // 0-based, across the whole map
  std::int32_t beat;     // 0-based within the measure
  std::int32_t division; // 0-based within the beat
};

class BeatSink {
 public:
  virtual ~BeatSink() = default;
  // Divisions of the stretch passed before the range, in one call.
  virtual void Pass(const Stretch& stretch, DivisionCount count) = 0;
  virtual void Division(const BeatEvent& event) = 0;
  // A measure ended and the next one, `measure` (0-based), is in the range.
  virtual void MeasureEnd(std::int64_t measure) = 0;
  // True when nothing more can be taken (a full text).
  virtual bool Full() const { return false; }

  // The number a measure (0-based index) is shown with: from 1, unless the
  // run numbers the map's first measure otherwise (a pickup as measure 0).
  void NumberMeasuresFrom(std::int64_t first) { firstNumber_ = first; }
  std::int64_t MeasureNumber(std::int64_t index) const { return index + firstNumber_; }

 private:
  std::int64_t firstNumber_ = 1;
};

// Makes a timeline of the whole map, afresh each time it is called.
using TimelineMaker = std::function<std::unique_ptr<Timeline>()>;

// Walks the measures start..stop (0-based, inclusive) with `divisions` per beat.
// With a `skip`, the range begins that many divisions into measure `start`
// (a walk taken up again inside a long measure): they are passed, and the
// bar line before them is not in the range.
void WalkBeats(Timeline& timeline, std::int64_t start, std::int64_t stop,
               std::int32_t divisions, BeatSink& sink, DivisionCount skip = 0);

}  // namespace beatmarks
