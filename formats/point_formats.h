#pragma once

#include <cstdint>
#include <string>

#include "core/beat_walk.h"
#include "core/walk_plan.h"
#include "files/export_file.h"

namespace beatmarks {

// Exact point formats, one line per division, streamed to an export:
// - labels: "start<TAB>end<TAB>label<LF>", a point label (start = end) in
//   seconds with 6 decimals, as audio editors import label tracks;
// - csv: RFC 4180 with CRLF, header "time,frame,measure,beat,division,label",
//   seconds with 9 decimals and the sample position.
// A label is "M.B", or "M.B.D" with more than one division per beat.
class PointSink : public BeatSink {
 public:
  enum class Kind { kLabels, kCsv };

  PointSink(ExportFile& out, Kind kind, std::uint32_t sampleRate, std::int32_t divisions);

  void Pass(const Stretch&, DivisionCount) override {}
  void Division(const BeatEvent& event) override;
  void MeasureEnd(std::int64_t) override {}

 private:
  char* PutLabel(char* at, const BeatEvent& e) const;

  ExportFile& out_;
  const Kind kind_;
  const std::uint32_t sampleRate_;
  const std::int32_t divisions_;
};

// The range of the plan as a label track, or as CSV.
void WriteLabels(const WalkPlan& plan, ExportFile& out);
void WriteCsv(const WalkPlan& plan, ExportFile& out);

}  // namespace beatmarks
