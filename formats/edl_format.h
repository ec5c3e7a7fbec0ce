#pragma once

#include <cstdint>
#include <string>

#include "core/beat_walk.h"
#include "core/walk_plan.h"
#include "exact/timecode.h"
#include "files/export_file.h"

namespace beatmarks {

// A CMX 3600 edit decision list that holds markers, the form video editors
// import a marker list from:
//   TITLE: song
//   FCM: NON-DROP FRAME            (DROP FRAME at 29.97df)
//   (a blank line)
//   001  AX       V     C        00:00:02:00 00:00:02:01 00:00:02:00 00:00:02:01
//   * LOC: 00:00:02:00 RED     1.1
// One event a marker, a frame long on the frame the beat falls in, its
// source and record times alike; the marker is named M.B (M.B.D between
// beats) and coloured RED on a measure's first beat, YELLOW on another beat
// and BLUE between beats. Event numbers have three digits, more past 999.
class EdlSink final : public BeatSink {
 public:
  // `everyDivision`: a marker at every division of the walk, else at every
  // measure's first beat.
  EdlSink(ExportFile& out, const TimecodeRate& rate, const std::string& title, bool everyDivision,
          std::int32_t divisions);

  void Pass(const Stretch&, DivisionCount) override {}
  void Division(const BeatEvent& event) override;
  void MeasureEnd(std::int64_t) override {}

 private:
  ExportFile& out_;
  const TimecodeRate rate_;
  const bool everyDivision_;
  const std::int32_t divisions_;
  std::uint64_t events_ = 0;
};

// The title of a map's EDL: its file name without folders or extension, in
// printable ASCII (another byte a '?'), at most 70 characters.
std::string EdlTitle(const std::string& mapName);

// The plan's range as an EDL with a marker at every measure, or at every
// division; the plan has a timecode rate.
void WriteEdl(const WalkPlan& plan, bool everyDivision, ExportFile& out);

}  // namespace beatmarks
