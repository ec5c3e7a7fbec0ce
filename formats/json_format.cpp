#include "formats/json_format.h"

#include "core/section_walk.h"

#include <charconv>
#include <cmath>

#include "core/number_scan.h"
#include "core/text_encoding.h"
#include "formats/stream_text.h"

namespace beatmarks {

void AppendJsonNumber(std::string& text, double value) {
  // JSON has no infinity: a time past the largest double reads back as one.
  if (!std::isfinite(value)) {
    text += "1e999";
    return;
  }
  char digits[32];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

namespace {

void AppendFloat(std::string& text, float value) {
  char digits[32];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

void AppendField(std::string& text, const char* name, std::int64_t value) {
  text += name;
  AppendInteger(text, value);
}

// A MIDI map's section also tells what its beat is, its tempo in quarter
// notes a minute, and its time signature; a text map's has none of these.
void AppendMidiSection(std::string& text, const Stretch& s) {
  if (s.beatNoteDenominator > 0) {
    AppendField(text, ",\"beatUnit\":\"", s.beatNoteNumerator);
    AppendField(text, "/", s.beatNoteDenominator);
    text += '"';
  }
  if (s.HasQuarterTempo()) {
    text += ",\"quarterTempo\":";
    AppendJsonNumber(text, s.quarterTempo);
  }
  if (s.HasTimeSignature()) {
    AppendField(text, ",\"meter\":\"", s.meterNumerator);
    AppendField(text, "/", s.meterDenominator);
    text += '"';
  }
}

}  // namespace

JsonSink::JsonSink(ExportFile& out, std::uint32_t sampleRate, std::int32_t divisions,
                   const Rational& offset, const std::vector<OriginAt>* origins,
                   const TimecodeRate* timecode)
    : out_(out), sampleRate_(sampleRate), sourced_(origins != nullptr), origins_(origins),
      timecode_(timecode) {
  std::string& text = out_.text();
  AppendField(text, "{\"sampleRate\":", sampleRate);
  AppendField(text, ",\"divisions\":", divisions);
  text += ",\"offset\":";
  AppendJsonNumber(text, NearestDouble(offset));
  if (timecode_ != nullptr) {
    text += ",\"timecodeRate\":\"";
    text += timecode_->name;
    text += '"';
  }
  text += ",\n\"sections\":[";
}

void JsonSink::WriteSections(Timeline& sections) {
  bool first = true;
  WalkStretches(sections, StretchTimes::kAsked, [&](Stretch& s, Timeline& timeline) {
    if (s.number == 0) return true;  // between changes closer than a division
    timeline.AddTimes(s);
    std::string& text = out_.text();
    text += first ? "\n" : ",\n";
    first = false;
    AppendField(text, "{\"number\":", s.number);
    text += ",\"name\":";
    AppendJsonString(text, s.Label());
    text += ",\"tempo\":";
    if (s.HasTempoText()) {
      text += PlainDecimal(*s.tempoText);  // as the map wrote it
    } else {
      AppendFloat(text, s.tempo);
    }
    AppendMidiSection(text, s);
    AppendField(text, ",\"beatsPerMeasure\":", s.beatsPerMeasure);
    AppendField(text, ",\"measures\":", s.measures);
    AppendField(text, ",\"firstMeasure\":", MeasureNumber(s.firstMeasure));
    text += ",\"start\":";
    AppendJsonNumber(text, s.time->Nearest(0));
    text += '}';
    out_.Filled();
    return true;
  });
  out_.Put("],\n\"beats\":[");
}

void JsonSink::Division(const BeatEvent& e) {
  std::string& text = out_.text();
  text += firstBeat_ ? "\n" : ",\n";
  firstBeat_ = false;
  AppendField(text, "{\"measure\":", MeasureNumber(e.measure));
  AppendField(text, ",\"beat\":", e.beat + 1);
  AppendField(text, ",\"division\":", e.division + 1);
  text += ",\"time\":";
  AppendJsonNumber(text, e.stretch.time->Nearest(e.index));
  text += ",\"sample\":";
  e.stretch.time->AppendSample(e.index, sampleRate_, text);
  if (sourced_) {
    text += ",\"source\":\"";
    text += OriginName(origins_.At(e.measure, e.beat));
    text += '"';
  }
  if (timecode_ != nullptr) AppendBeatTimecode(e, text);
  text += '}';
  out_.Filled();
}

void JsonSink::AppendBeatTimecode(const BeatEvent& e, std::string& text) const {
  text += ",\"timecode\":\"";
  AppendDivisionTimecode(*e.stretch.time, e.index, *timecode_, text);
  text += '"';
}

void JsonSink::End() { out_.Put("]}\n"); }

void WriteJson(const WalkPlan& plan, ExportFile& out) {
  JsonSink json(out, plan.rate, plan.divisions, plan.offset, plan.origins.get(),
                plan.timecode ? &*plan.timecode : nullptr);
  json.NumberMeasuresFrom(plan.firstMeasureNumber);
  json.WriteSections(*plan.timelines());
  plan.Walk(json);
  json.End();
}

}  // namespace beatmarks
