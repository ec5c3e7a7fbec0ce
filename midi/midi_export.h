#pragma once

// The tempo map as a Standard MIDI File: format 1, 960 ticks a quarter note,
// one conductor track holding the track's name, the time signatures, the
// tempos, a marker where each section begins and the end of track one beat
// after the last beat. A text map's beat is a quarter note (a section of 3
// beats a measure is in 3/4); a MIDI map keeps its time signatures and the
// beat it was walked in (the metronome click is that beat), and the markers
// its sections are named after.
//
// Every beat, read back as MIDI readers read it (the sum of ticks x
// microseconds a quarter note / 960), lies within maxDrift of its exact time:
// a tempo event where the map changes tempo, and another only where the next
// beat would otherwise drift past the bound, on the beat before it or on a
// quarter note inside it, where a DAW keeps it (see midi/tempo_plan.h). The file is planned once, its events kept, and written
// from the plan. With an offset the file begins
// with a count-in of whole measures of the first meter (midi/count_in.h), its
// tempo chosen so that the first measure's downbeat lands at the offset.

#include <cstdint>
#include <limits>
#include <string>

#include "core/beat_walk.h"
#include "exact/rational.h"
#include "files/export_file.h"
#include "midi/smf_track.h"

namespace beatmarks {

// The least largest drift a plan is made for: 1 ns.
inline const Rational kLeastMaxDrift = Rational(1) / Rational(1000000000);

struct MidiExportSettings {
  std::int64_t start = 0;  // the measures written, 0-based and inclusive
  std::int64_t stop = std::numeric_limits<std::int64_t>::max();
  std::int32_t divisions = 1;  // a beat's divisions, as the timelines were made with
  Rational offset;             // seconds: where the range's first downbeat lands
  Rational maxDrift = Rational(1) / Rational(1000000);  // seconds, at least 1 ns
  std::string trackName;  // the conductor track's name, none when empty
  std::int64_t firstMeasureNumber = 1;  // the number of measure 0, in messages
};

struct MidiExportReport {
  std::uint64_t bytes = 0;  // of the whole file
  std::uint64_t tempoEvents = 0;
  Rational largestDrift;  // seconds, the farthest a beat lies from its time
  std::string countIn;    // how a count-in differs from the first tempo, when it does
  std::uint64_t betweenQuarters = 0;  // tempo events off the beats and quarter notes
};

// Larger files are refused.
inline constexpr std::uint64_t kMaxMidiExportBytes = std::uint64_t{256} << 20;

// The file planned: what it holds and its events, in order.
struct MidiExportPlan {
  MidiExportReport report;
  PlannedTrack track{true};
};

// Plans the file without writing anything: empty when it can be written,
// with the plan holding every event and the report saying what the file
// will hold, else one line saying why not (a map too long for a MIDI file,
// a tempo or meter no MIDI file holds, a range without beats). A map far
// too long is refused from its sections alone, before its beats are
// planned. `make` gives timelines with exact times, made with
// settings.divisions.
std::string PlanMidiExport(const TimelineMaker& make, const MidiExportSettings& settings,
                           MidiExportPlan& plan);

// Writes the planned file; false when what was written is not what was planned.
bool WriteMidiExport(const MidiExportPlan& plan, ExportFile& out);

// "357 tempo events, largest drift 0.000001000 s", a count-in's tempo when
// it is not the first, and the events between quarter notes, if any.
std::string DescribeMidiExport(const MidiExportReport& report);

}  // namespace beatmarks
