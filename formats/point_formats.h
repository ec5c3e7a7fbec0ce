#pragma once

#include <cstdint>
#include <string>

#include "core/beat_origin.h"
#include "core/beat_walk.h"
#include "core/walk_plan.h"
#include "exact/rounded_steps.h"
#include "exact/timecode.h"
#include "files/export_file.h"

namespace beatmarks {

// Exact point formats, one line per division, streamed to an export:
// - labels: "start<TAB>end<TAB>label<LF>", a point label (start = end) in
//   seconds with 6 decimals, as audio editors import label tracks;
// - csv: RFC 4180 with CRLF, header "time,frame,measure,beat,division,label",
//   seconds with 9 decimals and the sample position; a listened run's CSV
//   ends each line with the beat's origin in a "source" column.
// A label is "M.B", or "M.B.D" with more than one division per beat.
// With a timecode rate, the CSV ends each line with a "timecode" column and
// a label reads "M.B HH:MM:SS:FF": the video frame the division falls in.
class PointSink final : public BeatSink {
 public:
  enum class Kind { kLabels, kCsv };

  // `origins`: the beats' origins for the CSV's source column, or none;
  // `timecode`: the frame rate of the timecodes, or none.
  PointSink(ExportFile& out, Kind kind, std::uint32_t sampleRate, std::int32_t divisions,
            const std::vector<OriginAt>* origins = nullptr, const TimecodeRate* timecode = nullptr);

  void Pass(const Stretch&, DivisionCount) override { next_ = kNoNext; }
  void Division(const BeatEvent& event) override;
  void MeasureEnd(std::int64_t) override {}

  // Every line through LinearTime's own rounding, none stepped: what the
  // stepped lines are checked against.
  void StepNone() { stepping_ = false; }

 private:
  static constexpr DivisionCount kNoNext = ~DivisionCount{0};

  // The line from the stepped roundings, or false where they leave it open.
  template <Kind kKind>
  bool SteppedLine(const BeatEvent& e);
  void ExactLine(const BeatEvent& e);
  char* PutLabel(char* at, const BeatEvent& e);
  // The division's timecode into timecodeText_.
  void TakeTimecode(const BeatEvent& e);
  char* PutTimecodeText(char* at, char before) const;
  char* PutPlace(char* at, const BeatEvent& e);
  // The measure's number, formatted once a measure: 24 bytes are written.
  char* PutMeasure(char* at, std::int64_t measure);

  ExportFile& out_;
  const Kind kind_;
  const std::uint32_t sampleRate_;
  const std::int32_t divisions_;
  bool stepping_ = true;
  const bool sourced_;  // a source column
  const TimecodeRate* const timecode_;
  std::string timecodeText_;  // the division's, when timecode_ is set
  OriginCursor origins_;
  // The roundings of the stretch's divisions in order: the next index they
  // are at (a stretch's divisions come in order, from 0 or after a Pass).
  RoundedSteps seconds_, samples_;
  DivisionCount next_ = kNoNext;
  std::int64_t shownMeasure_ = -1;
  char measureDigits_[24] = {};
  std::size_t measureLength_ = 0;
};

// The range of the plan as a label track, or as CSV.
void WriteLabels(const WalkPlan& plan, ExportFile& out);
void WriteCsv(const WalkPlan& plan, ExportFile& out);

}  // namespace beatmarks
