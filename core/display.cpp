#include "core/display.h"

#include <algorithm>
#include <cmath>

#include "core/end_program.h"
#include "core/output.h"
#include "core/text_builder.h"
#include "core/time_advance.h"

namespace beatmarks {
namespace {

struct Section {
  int number;  // 1-based
  float tempo;
  std::int32_t beatsPerMeasure;
  std::int32_t measures;
};

[[noreturn]] void FailSection(const char* format, int section) {
  Print(format, section);
  EndProgram(1);
}

// Every section is checked in walk order before any text is built: a failure
// ends the program, and the text it would have dropped is never made.
void CheckSection(const Section& s) {
  if (s.tempo <= 0.0) FailSection("Error: Tempo must be greater than zero! (section %i)\n", s.number);
  if (!std::isfinite(s.tempo)) {
    FailSection("Error: Tempo must be a finite number! (section %i)\n", s.number);
  }
  if (s.measures >= 1 && s.beatsPerMeasure < 1) {
    FailSection("Error: Beats per measure must be greater than zero! (section %i)\n", s.number);
  }
}

// Sample position of a time: truncated toward zero, held at the 64-bit limit.
std::int64_t SamplePosition(std::int32_t sampleRate, double t) {
  double product = static_cast<double>(static_cast<std::uint32_t>(sampleRate)) * t;
  constexpr double kTwoTo63 = 9223372036854775808.0;
  return product < kTwoTo63 ? static_cast<std::int64_t>(product) : INT64_MAX;
}

// Walks the divisions from the start of the piece, keeping the running time
// as a sum of steps (its rounding is part of the output), and writes the
// divisions inside the range. Whole measures before the range are passed in
// one jump that gives the same sum; nothing past the range is walked.
class GridWalk {
 public:
  GridWalk(TextBuilder& text, std::int32_t sampleRate, std::int32_t start, std::int32_t stop,
           std::int32_t divisions)
      : text_(text), sampleRate_(sampleRate), start_(start), stop_(stop), divisions_(divisions) {}

  void WalkSection(const Section& s) {
    const double step = (60.0 / static_cast<double>(s.tempo)) / divisions_;
    for (std::int32_t k = SkipBeforeRange(s, step); k < s.measures && !Done();) {
      if (InRange(j_)) EmitLine(s, k);
      t_ += step;
      if (++d_ == divisions_) {
        ++b_;
        d_ = 0;
      }
      if (b_ == s.beatsPerMeasure) {
        ++j_;
        if (InRange(j_)) text_.Append("\n");
        ++k;
        b_ = 0;
      }
    }
  }

 private:
  // Passes the section's measures that lie before the range; returns how many.
  std::int32_t SkipBeforeRange(const Section& s, double step) {
    if (j_ >= start_ || Done() || s.measures <= 0) return 0;
    const std::int64_t skipped = std::min<std::int64_t>(s.measures, start_ - j_);
    const DivisionCount perMeasure =
        static_cast<DivisionCount>(s.beatsPerMeasure) * static_cast<DivisionCount>(divisions_);
    t_ = AdvanceTime(t_, step, perMeasure * static_cast<DivisionCount>(skipped));
    j_ += skipped;
    if (InRange(j_)) text_.Append("\n");
    return static_cast<std::int32_t>(skipped);
  }

  // Past the range, or once the text is full, nothing more can be written.
  bool Done() const { return j_ > stop_ || text_.cut(); }
  bool InRange(std::int64_t j) const { return start_ <= j && j <= stop_; }

  void EmitLine(const Section& s, std::int32_t k) {
    if (first_ || (k == 0 && b_ == 0 && d_ == 0)) {
      text_.PutText("\nSection ").PutInteger(s.number);
      text_.PutText("\tTempo ").PutFixed3(static_cast<double>(s.tempo));
      text_.PutText("\tBeats/Meas ").PutInteger(s.beatsPerMeasure);
      text_.PutText("\tMeasures ").PutInteger(s.measures).PutText("\n\n").EndFragment();
    }
    if (b_ == 0 && d_ == 0) {
      text_.PutText("M ").PutInteger(j_ + 1).PutText("\t").EndFragment();
    } else {
      text_.Append("\t");
    }
    if (d_ == 0) {
      text_.PutText("B ").PutInteger(b_ + 1).PutText("\t").EndFragment();
    } else {
      text_.Append("\t");
    }
    text_.PutFixed3(t_).PutText(" sec\t").PutInteger(SamplePosition(sampleRate_, t_));
    text_.PutText(" smp\n").EndFragment();
    first_ = false;
  }

  TextBuilder& text_;
  const std::int32_t sampleRate_;
  const std::int32_t start_;
  const std::int32_t stop_;
  const std::int32_t divisions_;
  double t_ = 0.0;
  std::int64_t j_ = 0;  // measure index across sections
  std::int32_t b_ = 0;  // beat within the measure
  std::int32_t d_ = 0;  // division within the beat
  bool first_ = true;
};

}  // namespace

void Display(std::int32_t sectionCount, const TempoArray& tempo, CountArray& measures,
             const CountArray& beatsPerMeasure, std::int32_t sampleRate,
             std::int32_t startMeasure, std::int32_t stopMeasure, std::int32_t divisions,
             TextBuffer& outText, bool& textCut) {
  if (divisions < 1) {
    Print("Error: Divisions per beat must be greater than zero!\n");
    EndProgram(1);
  }
  int count = sectionCount > N ? N : sectionCount;
  if (sectionCount <= 0) {
    // Without a map the piece is one section long enough to reach the stop.
    measures[0] = static_cast<std::int32_t>(static_cast<std::uint32_t>(stopMeasure) + 1u);
    count = 1;
  }
  for (int i = 0; i < count; ++i) {
    CheckSection({i + 1, tempo[i], beatsPerMeasure[i], measures[i]});
  }

  TextBuilder text(outText);
  text.PutText("\nSample Rate\t").PutInteger(sampleRate).PutText("\n").EndFragment();

  GridWalk walk(text, sampleRate, startMeasure, stopMeasure, divisions);
  for (int i = 0; i < count; ++i) {
    walk.WalkSection({i + 1, tempo[i], beatsPerMeasure[i], measures[i]});
  }
  textCut = text.cut();
}

}  // namespace beatmarks
