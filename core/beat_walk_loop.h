#pragma once

// The walk itself, for any sink type: WalkBeats runs it through BeatSink's
// virtual calls; a hot output whose sink class is final runs it on its own
// type (WalkBeatsInto), so that each division is a direct, inlined call.

#include <algorithm>

#include "core/beat_walk.h"

namespace beatmarks {

template <class Sink>
class BeatWalk {
 public:
  BeatWalk(std::int64_t start, std::int64_t stop, std::int32_t divisions, DivisionCount skip, Sink& sink)
      : start_(start), stop_(stop), divisions_(divisions), skip_(skip), sink_(sink) {}

  bool Done() const { return j_ > stop_ || sink_.Full(); }

  // Whether any division of the stretch lies in the range.
  bool Reaches(const beatmarks::Stretch& s) const {
    if (s.divisions == 0 || s.firstMeasure > stop_) return false;
    const DivisionCount perBeat = static_cast<DivisionCount>(divisions_);
    const DivisionCount perMeasure = perBeat * static_cast<DivisionCount>(s.beatsPerMeasure);
    const DivisionCount into = static_cast<DivisionCount>(s.firstBeat) * perBeat + s.firstDivision;
    const DivisionCount last = static_cast<DivisionCount>(s.firstMeasure) + (into + s.divisions - 1) / perMeasure;
    return last >= static_cast<DivisionCount>(start_ < 0 ? 0 : start_);
  }

  void Stretch(const beatmarks::Stretch& s) {
    if (s.divisions == 0) return;
    EnterAt(s);
    DivisionCount n = PassBeforeRange(s);
    for (; n < s.divisions && !Done(); ++n) {
      if (InRange(j_)) sink_.Division({s, n, j_, b_, d_});
      Advance(s.beatsPerMeasure);
    }
  }

 private:
  bool InRange(std::int64_t j) const { return start_ <= j && j <= stop_; }
  // Whether the bar line that begins measure j lies in the range.
  bool BarInRange(std::int64_t j) const { return InRange(j) && (j != start_ || skip_ == 0); }

  // A stretch that begins a new measure ends the one cut short before it.
  void EnterAt(const beatmarks::Stretch& s) {
    bool cutShort = s.firstMeasure > j_ && (b_ != 0 || d_ != 0);
    j_ = s.firstMeasure;
    b_ = s.firstBeat;
    d_ = s.firstDivision;
    if (cutShort && BarInRange(j_)) sink_.MeasureEnd(j_);
  }

  // Passes the stretch's divisions before the range in one step; returns how many.
  DivisionCount PassBeforeRange(const beatmarks::Stretch& s) {
    if (j_ > start_ || Done()) return 0;
    const DivisionCount perBeat = static_cast<DivisionCount>(divisions_);
    const DivisionCount perMeasure = perBeat * static_cast<DivisionCount>(s.beatsPerMeasure);
    const DivisionCount intoMeasure = static_cast<DivisionCount>(b_) * perBeat + d_;
    const DivisionCount skip = std::min(skip_, perMeasure);
    if (j_ == start_ && intoMeasure >= skip) return 0;
    const DivisionCount toStart =
        static_cast<DivisionCount>(start_ - j_) * perMeasure + skip - intoMeasure;
    const DivisionCount count = std::min(toStart, s.divisions);
    sink_.Pass(s, count);
    const DivisionCount reached = intoMeasure + count;
    j_ += static_cast<std::int64_t>(reached / perMeasure);
    b_ = static_cast<std::int32_t>(reached % perMeasure / perBeat);
    d_ = static_cast<std::int32_t>(reached % perBeat);
    if (reached >= perMeasure && BarInRange(j_)) sink_.MeasureEnd(j_);
    return count;
  }

  void Advance(std::int32_t beatsPerMeasure) {
    if (++d_ == divisions_) {
      ++b_;
      d_ = 0;
    }
    if (b_ == beatsPerMeasure) {
      ++j_;
      b_ = 0;
      if (BarInRange(j_)) sink_.MeasureEnd(j_);
    }
  }

  const std::int64_t start_, stop_;
  const std::int32_t divisions_;
  const DivisionCount skip_;
  Sink& sink_;
  std::int64_t j_ = 0;
  std::int32_t b_ = 0;
  std::int32_t d_ = 0;
};

template <class Sink>
void WalkBeatsInto(Timeline& timeline, std::int64_t start, std::int64_t stop,
                   std::int32_t divisions, Sink& sink, DivisionCount skip = 0) {
  BeatWalk<Sink> walk(start, stop, divisions, skip, sink);
  Stretch stretch;
  while (!walk.Done() && timeline.Next(stretch)) {
    if (walk.Reaches(stretch)) timeline.AddTimes(stretch);
    walk.Stretch(stretch);
  }
}

}  // namespace beatmarks
