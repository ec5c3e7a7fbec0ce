#include "app/format_run.h"

#include "formats/json_format.h"
#include "formats/list_format.h"
#include "formats/point_formats.h"
#include "formats/stream_text.h"
#include "formats/summary_format.h"
#include "picture/picture_builder.h"

namespace beatmarks {
namespace {

// Walks the range into a sink, its measures numbered as the run numbers them.
void Walk(Timeline& timeline, const ProgramState& s, std::int64_t first, BeatSink& sink) {
  sink.NumberMeasuresFrom(first);
  WalkBeats(timeline, s.startMeasure, s.stopMeasure, s.divisions, sink);
}

void WriteList(Timeline& timeline, const ProgramState& s, std::int64_t first, ExportFile& out) {
  StreamText text(out);
  ListSink<StreamText> list(text, s.sampleRate, s.divisions, ListTimes::kExact);
  list.WriteRateBlock();
  Walk(timeline, s, first, list);
}

void WriteJson(const TimelinesFrom& make, const Rational& offset, const ProgramState& s,
               std::int64_t first, ExportFile& out) {
  JsonSink json(out, static_cast<std::uint32_t>(s.sampleRate), s.divisions, offset);
  json.NumberMeasuresFrom(first);
  json.WriteSections(*make(offset));
  Walk(*make(offset), s, first, json);
  json.End();
}

void WritePicture(Timeline& timeline, const Options& o, const ProgramState& s,
                  std::int64_t first, ExportFile& out) {
  TempoPicture picture = BuildPicture(timeline, s.divisions, o.positional[0]);
  picture.firstMeasureNumber = first;
  WriteTempoSvg(picture, out.text());
}

}  // namespace

std::int64_t FirstMeasureNumber(const Options& o) { return o.firstMeasure.value_or(1); }

void WriteFormat(const Options& o, const TimelinesFrom& make, const Rational& offset,
                 ProgramState& s, ExportFile& out) {
  const std::int64_t first = FirstMeasureNumber(o);
  std::unique_ptr<Timeline> timeline = make(offset);
  if (o.format == "svg") {
    WritePicture(*timeline, o, s, first, out);
  } else if (o.format == "list") {
    WriteList(*timeline, s, first, out);
  } else if (o.format == "json") {
    WriteJson(make, offset, s, first, out);
  } else if (o.format == "summary") {
    WriteSummary(*timeline, s.divisions, first, out);
  } else {
    PointSink points(out, o.format == "csv" ? PointSink::Kind::kCsv : PointSink::Kind::kLabels,
                     static_cast<std::uint32_t>(s.sampleRate), s.divisions);
    Walk(*timeline, s, first, points);
  }
}

}  // namespace beatmarks
