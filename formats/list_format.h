#pragma once

#include <cstdint>
#include <string>

#include "core/beat_walk.h"
#include "formats/stream_text.h"
#include "formats/text_builder.h"

namespace beatmarks {

// The list: a sample-rate block, a header at the start of each section (of a
// MIDI map: where the tempo or meter changes) and before the first line, one line per division, an empty line after each
// measure followed by one in the range. Classic times are a running sum of
// double steps, truncated to samples; exact times come from the stretch's
// exact timeline, rounded to the nearest sample.
// Text is a TextBuilder (the fixed buffer) or a StreamText (an export).
enum class ListTimes { kRunningSum, kExact };

template <class Text>
class ListSink : public BeatSink {
 public:
  using Times = ListTimes;

  ListSink(Text& text, std::int32_t sampleRate, std::int32_t divisions, Times times);

  void WriteRateBlock();
  void Pass(const Stretch& stretch, DivisionCount count) override;
  void Division(const BeatEvent& event) override;
  void MeasureEnd(std::int64_t measure) override;
  bool Full() const override { return text_.cut(); }

 private:
  double StepOf(const Stretch& stretch);
  bool Changes(const Stretch& stretch) const;
  void Header(const Stretch& stretch);
  void TimeColumn(const BeatEvent& event);

  Text& text_;
  const std::int32_t sampleRate_;
  const std::int32_t divisions_;
  const Times times_;
  bool first_ = true;
  struct Shown {
    float tempo;
    std::int32_t beatsPerMeasure, meterNumerator, meterDenominator;
  } shown_{};  // what the last header said
  double t_ = 0.0;            // the running sum
  int stepOf_ = 0;            // the stretch whose step is cached
  double step_ = 0.0;
  std::string seconds_;       // scratch for exact seconds
};

extern template class ListSink<TextBuilder>;
extern template class ListSink<StreamText>;

}  // namespace beatmarks
