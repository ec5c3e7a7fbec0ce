#pragma once

#include <cstdint>

#include "core/beat_walk.h"
#include "exact/rational.h"
#include "files/export_file.h"

namespace beatmarks {

// One JSON document, streamed: the settings, every section of the map, and
// the divisions of the range. Times are the doubles nearest the exact values,
// in the shortest form that reads back to them.
//   {"sampleRate":R,"divisions":D,"offset":O,
//    "sections":[{"number","tempo","beatsPerMeasure","measures","firstMeasure","start"}...],
//    "beats":[{"measure","beat","division","time","sample"}...]}
class JsonSink : public BeatSink {
 public:
  JsonSink(ExportFile& out, std::uint32_t sampleRate, std::int32_t divisions,
           const Rational& offset);

  // Writes the sections from a timeline of the whole map; call before the walk.
  void WriteSections(Timeline& sections);
  void Pass(const Stretch&, DivisionCount) override {}
  void Division(const BeatEvent& event) override;
  void MeasureEnd(std::int64_t) override {}
  // Closes the document; call after the walk.
  void End();

 private:
  ExportFile& out_;
  const std::uint32_t sampleRate_;
  bool firstBeat_ = true;
};

// Appends a double in its shortest round-trip form (finite values only).
void AppendJsonNumber(std::string& text, double value);

}  // namespace beatmarks
