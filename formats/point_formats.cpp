#include "formats/point_formats.h"

#include <charconv>

namespace beatmarks {

PointSink::PointSink(ExportFile& out, Kind kind, std::uint32_t sampleRate,
                     std::int32_t divisions)
    : out_(out), kind_(kind), sampleRate_(sampleRate), divisions_(divisions) {
  if (kind_ == Kind::kCsv) out_.Put("time,frame,measure,beat,division,label\r\n");
}

namespace {

// Writes the number at the cursor; the buffer always has room for it.
char* Put(char* at, std::int64_t value) { return std::to_chars(at, at + 24, value).ptr; }

}  // namespace

// "M.B" or "M.B.D" into a buffer of at least 3 x 24 bytes.
char* PointSink::PutLabel(char* at, const BeatEvent& e) const {
  at = Put(at, MeasureNumber(e.measure));
  *at++ = '.';
  at = Put(at, e.beat + 1);
  if (divisions_ > 1) {
    *at++ = '.';
    at = Put(at, e.division + 1);
  }
  return at;
}

// Each line is formatted straight into the export's buffer.
void PointSink::Division(const BeatEvent& e) {
  const LinearTime& time = *e.stretch.time;
  std::string& text = out_.text();
  const std::size_t start = text.size();
  time.AppendSeconds(e.index, kind_ == Kind::kLabels ? 6 : 9, text);
  char line[8 * 24];
  char* at = line;
  if (kind_ == Kind::kLabels) {
    const std::size_t length = text.size() - start;
    text += '\t';
    text.append(text, start, length);
    *at++ = '\t';
    at = PutLabel(at, e);
    *at++ = '\n';
  } else {
    text += ',';
    time.AppendSample(e.index, sampleRate_, text);
    *at++ = ',';
    at = Put(at, MeasureNumber(e.measure));
    *at++ = ',';
    at = Put(at, e.beat + 1);
    *at++ = ',';
    at = Put(at, e.division + 1);
    *at++ = ',';
    at = PutLabel(at, e);
    *at++ = '\r';
    *at++ = '\n';
  }
  text.append(line, static_cast<std::size_t>(at - line));
  out_.Filled();
}

void WriteLabels(const WalkPlan& plan, ExportFile& out) {
  PointSink labels(out, PointSink::Kind::kLabels, plan.rate, plan.divisions);
  plan.Walk(labels);
}

void WriteCsv(const WalkPlan& plan, ExportFile& out) {
  PointSink csv(out, PointSink::Kind::kCsv, plan.rate, plan.divisions);
  plan.Walk(csv);
}

}  // namespace beatmarks
