#include "core/point_formats.h"

#include "core/stream_text.h"

namespace beatmarks {

PointSink::PointSink(ExportFile& out, Kind kind, std::uint32_t sampleRate,
                     std::int32_t divisions)
    : out_(out), kind_(kind), sampleRate_(sampleRate), divisions_(divisions) {
  if (kind_ == Kind::kCsv) out_.Put("time,frame,measure,beat,division,label\r\n");
}

void PointSink::AppendLabel(std::string& text, const BeatEvent& e) const {
  AppendInteger(text, e.measure + 1);
  text += '.';
  AppendInteger(text, e.beat + 1);
  if (divisions_ > 1) {
    text += '.';
    AppendInteger(text, e.division + 1);
  }
}

void PointSink::Division(const BeatEvent& e) {
  std::string& text = out_.text();
  const LinearTime& time = *e.stretch.time;
  if (kind_ == Kind::kLabels) {
    const std::size_t start = text.size();
    time.AppendSeconds(e.index, 6, text);
    text += '\t';
    text.append(text, start, text.size() - start);  // end = start: a point label
    AppendLabel(text, e);
    text += '\n';
  } else {
    time.AppendSeconds(e.index, 9, text);
    text += ',';
    AppendInteger(text, time.Sample(e.index, sampleRate_));
    text += ',';
    AppendInteger(text, e.measure + 1);
    text += ',';
    AppendInteger(text, e.beat + 1);
    text += ',';
    AppendInteger(text, e.division + 1);
    text += ',';
    AppendLabel(text, e);
    text += "\r\n";
  }
  out_.Filled();
}

}  // namespace beatmarks
