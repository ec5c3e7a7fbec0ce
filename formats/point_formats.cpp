#include "formats/point_formats.h"

#include <charconv>
#include <cstring>

#include "formats/digits.h"

namespace beatmarks {

PointSink::PointSink(ExportFile& out, Kind kind, std::uint32_t sampleRate,
                     std::int32_t divisions, const std::vector<OriginAt>* origins,
                     const TimecodeRate* timecode)
    : out_(out), kind_(kind), sampleRate_(sampleRate), divisions_(divisions),
      sourced_(origins != nullptr && kind == Kind::kCsv), timecode_(timecode), origins_(origins) {
  if (kind_ == Kind::kCsv) {
    out_.Put(sourced_ ? "time,frame,measure,beat,division,label,source"
                      : "time,frame,measure,beat,division,label");
    out_.Put(timecode_ != nullptr ? ",timecode\r\n" : "\r\n");
  }
}

namespace {

// Writes the number at the cursor; the buffer always has room for it.
char* Put(char* at, std::int64_t value) { return std::to_chars(at, at + 24, value).ptr; }

// A line that stepped roundings settle: numbers of 20 digits, 9 decimals.
constexpr std::size_t kLongestLine = 8 * 24;

}  // namespace

[[gnu::always_inline]] inline char* PointSink::PutMeasure(char* at, std::int64_t measure) {
  if (measure != shownMeasure_) {
    shownMeasure_ = measure;
    measureLength_ = static_cast<std::size_t>(Put(measureDigits_, MeasureNumber(measure)) - measureDigits_);
  }
  std::memcpy(at, measureDigits_, sizeof measureDigits_);
  return at + measureLength_;
}

// "M.B" or "M.B.D" into a buffer of at least 3 x 24 bytes.
[[gnu::always_inline]] inline char* PointSink::PutLabel(char* at, const BeatEvent& e) {
  at = PutMeasure(at, e.measure);
  *at++ = '.';
  at = PutWhole(at, static_cast<std::uint64_t>(e.beat) + 1);
  if (divisions_ > 1) {
    *at++ = '.';
    at = PutWhole(at, static_cast<std::uint64_t>(e.division) + 1);
  }
  return kind_ == Kind::kLabels ? PutTimecodeText(at, ' ') : at;
}

void PointSink::TakeTimecode(const BeatEvent& e) {
  timecodeText_.clear();
  AppendDivisionTimecode(*e.stretch.time, e.index, *timecode_, timecodeText_);
}

// The division's timecode after `before`, where there is one.
char* PointSink::PutTimecodeText(char* at, char before) const {
  if (timecode_ == nullptr) return at;
  *at++ = before;
  std::memcpy(at, timecodeText_.data(), timecodeText_.size());
  return at + timecodeText_.size();
}

// The CSV's ",measure,beat,division,label" and the line's end.
[[gnu::always_inline]] inline char* PointSink::PutPlace(char* at, const BeatEvent& e) {
  *at++ = ',';
  at = PutMeasure(at, e.measure);
  *at++ = ',';
  at = PutWhole(at, static_cast<std::uint64_t>(e.beat) + 1);
  *at++ = ',';
  at = PutWhole(at, static_cast<std::uint64_t>(e.division) + 1);
  *at++ = ',';
  at = PutLabel(at, e);
  if (sourced_) {
    const char* name = OriginName(origins_.At(e.measure, e.beat));
    const std::size_t length = std::strlen(name);
    *at++ = ',';
    std::memcpy(at, name, length);
    at += length;
  }
  at = PutTimecodeText(at, ',');
  *at++ = '\r';
  *at++ = '\n';
  return at;
}

void PointSink::Division(const BeatEvent& e) {
  const bool stepped = stepping_ && (kind_ == Kind::kCsv ? SteppedLine<Kind::kCsv>(e)
                                                         : SteppedLine<Kind::kLabels>(e));
  if (!stepped) {
    ExactLine(e);
    out_.Filled();
  }
}

template <PointSink::Kind kKind>
bool PointSink::SteppedLine(const BeatEvent& e) {
  constexpr bool csv = kKind == Kind::kCsv;
  if (e.index == next_) {
    seconds_.Next();
    if (csv) samples_.Next();
  } else {
    seconds_.Start(*e.stretch.time, e.index, csv ? 1000000000 : 1000000);
    if (csv) samples_.Start(*e.stretch.time, e.index, sampleRate_);
  }
  next_ = e.index + 1;
  std::uint64_t units = 0, sample = 0;
  if (!seconds_.Settled(units) || (csv && (!samples_.Settled(sample) || sample >= INT64_MAX))) {
    return false;
  }
  if (timecode_ != nullptr) TakeTimecode(e);
  char* const line = out_.Tail(kLongestLine + timecodeText_.size());
  char* at = line;
  if constexpr (csv) {
    at = PutUnits<9>(at, units);
    *at++ = ',';
    at = PutPlace(PutWhole(at, sample), e);
  } else {
    at = PutUnits<6>(at, units);
    const auto length = static_cast<std::size_t>(at - line);
    *at++ = '\t';
    std::memcpy(at, line, length);
    at += length;
    *at++ = '\t';
    at = PutLabel(at, e);
    *at++ = '\n';
  }
  out_.KeepLine(at);
  return true;
}

// The line through LinearTime's own rounding, exact however long its numbers.
void PointSink::ExactLine(const BeatEvent& e) {
  const LinearTime& time = *e.stretch.time;
  std::string& text = out_.text();
  const std::size_t start = text.size();
  time.AppendSeconds(e.index, kind_ == Kind::kLabels ? 6 : 9, text);
  if (timecode_ != nullptr) TakeTimecode(e);
  // A timecode of more hours than a machine integer counts takes a longer line.
  char buffer[kLongestLine + kLongestTimecode];
  std::string longer;
  if (timecodeText_.size() > kLongestTimecode) longer.resize(kLongestLine + timecodeText_.size());
  char* const line = longer.empty() ? buffer : longer.data();
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
    at = PutPlace(at, e);
  }
  text.append(line, static_cast<std::size_t>(at - line));
}

void WriteLabels(const WalkPlan& plan, ExportFile& out) {
  const TimecodeRate* timecode = plan.timecode ? &*plan.timecode : nullptr;
  PointSink labels(out, PointSink::Kind::kLabels, plan.rate, plan.divisions, nullptr, timecode);
  plan.WalkInto(labels);
}

void WriteCsv(const WalkPlan& plan, ExportFile& out) {
  const TimecodeRate* timecode = plan.timecode ? &*plan.timecode : nullptr;
  PointSink csv(out, PointSink::Kind::kCsv, plan.rate, plan.divisions, plan.origins.get(), timecode);
  plan.WalkInto(csv);
}

}  // namespace beatmarks
