#pragma once

#include <cstdint>

#include "core/beat_walk.h"
#include "core/walk_plan.h"
#include "exact/rational.h"
#include "exact/timecode.h"
#include "files/export_file.h"

namespace beatmarks {

// One JSON document, streamed: the settings, every section of the map, and
// the divisions of the range. Times are the doubles nearest the exact values,
// in the shortest form that reads back to them.
//   {"sampleRate":R,"divisions":D,"offset":O,
//    "sections":[{"number","tempo","beatsPerMeasure","measures","firstMeasure","start"}...],
//    "beats":[{"measure","beat","division","time","sample"}...]}
// A section is a run of divisions with one tempo and meter; "start" is the
// time of its first division and "tempo" is in beats a minute. A MIDI map's
// sections add, after "tempo", the beat as a fraction of a whole note, the
// tempo in quarter notes a minute and the time signature:
//   "beatUnit":"3/8","quarterTempo":140.00014000014,"meter":"6/8"
// Its changes closer together than a division make no section of their own.
// With a timecode rate, the settings add "timecodeRate":"29.97df" after the
// offset and each beat ends with "timecode":"HH:MM:SS;FF".
class JsonSink : public BeatSink {
 public:
  // `origins`: the beats' origins, written as each beat's "source", or none;
  // `timecode`: the frame rate of the beats' timecodes, or none.
  JsonSink(ExportFile& out, std::uint32_t sampleRate, std::int32_t divisions,
           const Rational& offset, const std::vector<OriginAt>* origins = nullptr,
           const TimecodeRate* timecode = nullptr);

  // Writes the sections from a timeline of the whole map; call before the walk.
  void WriteSections(Timeline& sections);
  void Pass(const Stretch&, DivisionCount) override {}
  void Division(const BeatEvent& event) override;
  void MeasureEnd(std::int64_t) override {}
  // Closes the document; call after the walk.
  void End();

 private:
  void AppendBeatTimecode(const BeatEvent& e, std::string& text) const;
  ExportFile& out_;
  const std::uint32_t sampleRate_;
  bool firstBeat_ = true;
  const bool sourced_;
  OriginCursor origins_;
  const TimecodeRate* const timecode_;
};

// The plan's sections and range as one document.
void WriteJson(const WalkPlan& plan, ExportFile& out);

// Appends a double in its shortest round-trip form (finite values only).
void AppendJsonNumber(std::string& text, double value);

}  // namespace beatmarks
