#include "formats/list_format.h"

#include <cstdint>

namespace beatmarks {
namespace {

// Sample position of a running time: truncated toward zero, held at the
// 64-bit limit.
std::int64_t TruncatedSample(std::int32_t sampleRate, double t) {
  double product = static_cast<double>(static_cast<std::uint32_t>(sampleRate)) * t;
  constexpr double kTwoTo63 = 9223372036854775808.0;
  return product < kTwoTo63 ? static_cast<std::int64_t>(product) : INT64_MAX;
}

}  // namespace

template <class Text>
ListSink<Text>::ListSink(Text& text, std::int32_t sampleRate, std::int32_t divisions, Times times)
    : text_(text), sampleRate_(sampleRate), divisions_(divisions), times_(times) {}

template <class Text>
void ListSink<Text>::WriteRateBlock() {
  text_.PutText("\nSample Rate\t").PutInteger(sampleRate_).PutText("\n").EndFragment();
}

// The classic step: the tempo widened, then two divisions in this order.
template <class Text>
double ListSink<Text>::StepOf(const Stretch& s) {
  if (stepOf_ != s.number) {
    stepOf_ = s.number;
    step_ = (60.0 / static_cast<double>(s.tempo)) / divisions_;
  }
  return step_;
}

template <class Text>
void ListSink<Text>::Pass(const Stretch& s, DivisionCount count) {
  if (times_ == Times::kRunningSum) t_ = AdvanceTime(t_, StepOf(s), count);
}

// Every section of a text map (every fitted stretch) gets its header; a
// stretch of a MIDI map only when its tempo or meter differs from the last.
template <class Text>
bool ListSink<Text>::Changes(const Stretch& s) const {
  return s.source != StretchSource::kMidi || s.tempo != shown_.tempo ||
         s.beatsPerMeasure != shown_.beatsPerMeasure ||
         s.meterNumerator != shown_.meterNumerator ||
         s.meterDenominator != shown_.meterDenominator;
}

template <class Text>
void ListSink<Text>::Header(const Stretch& s) {
  shown_ = {s.tempo, s.beatsPerMeasure, s.meterNumerator, s.meterDenominator};
  text_.PutText("\nSection ").PutInteger(s.number);
  text_.PutText("\tTempo ").PutFixed3(static_cast<double>(s.tempo));
  text_.PutText("\tBeats/Meas ").PutInteger(s.beatsPerMeasure);
  text_.PutText("\tMeasures ").PutInteger(s.measures).PutText("\n\n").EndFragment();
}

template <class Text>
void ListSink<Text>::TimeColumn(const BeatEvent& e) {
  if (times_ == Times::kRunningSum) {
    text_.PutFixed3(t_).PutText(" sec\t").PutInteger(TruncatedSample(sampleRate_, t_));
    t_ += StepOf(e.stretch);
  } else {
    seconds_.clear();
    e.stretch.time->AppendSeconds(e.index, 3, seconds_);
    seconds_ += " sec\t";
    e.stretch.time->AppendSample(e.index, static_cast<std::uint32_t>(sampleRate_), seconds_);
    text_.PutText(seconds_);
  }
  text_.PutText(" smp\n").EndFragment();
}

template <class Text>
void ListSink<Text>::Division(const BeatEvent& e) {
  if (first_ || (e.index == 0 && Changes(e.stretch))) Header(e.stretch);
  if (e.beat == 0 && e.division == 0) {
    text_.PutText("M ").PutInteger(MeasureNumber(e.measure)).PutText("\t").EndFragment();
  } else {
    text_.Append("\t");
  }
  if (e.division == 0) {
    text_.PutText("B ").PutInteger(e.beat + 1).PutText("\t").EndFragment();
  } else {
    text_.Append("\t");
  }
  TimeColumn(e);
  first_ = false;
}

template <class Text>
void ListSink<Text>::MeasureEnd(std::int64_t) { text_.Append("\n"); }

template class ListSink<TextBuilder>;
template class ListSink<StreamText>;

}  // namespace beatmarks
