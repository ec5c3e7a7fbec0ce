#pragma once

// The tempo map fitted to the beats of a performance, as stretches with exact
// times. Between two anchors (given beats that land exactly on their times)
// the beats are evenly spaced: each gets (t(later) - t(earlier)) / beats
// between them, a tempo of 60 / that beats a minute. Fitted by beat, every
// given beat is an anchor; fitted by measure, the downbeats are, and the
// first and the last beat given, and any beat more than 30% of a beat off
// its even place (a fermata), kept where it was played. The map ends with the
// first division of the last beat given: its measure may be incomplete.
// Neighbouring spans of the same spacing and measure length make one stretch.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/beat_walk.h"
#include "fit/beat_list.h"

namespace beatmarks {

enum class FitMode { kBeat, kMeasure };

// The note a tapped beat is: a quarter, or the dotted quarter of a compound
// meter (a measure of n beats is then in 3n/8, and a quarter note is 2/3 of
// a beat).
enum class TappedNote { kQuarter, kDottedQuarter };

// Fitted by measure, the anchor after beat k on the way to `next` (the next
// downbeat, or the last beat): the first beat between them more than 30% of
// the spacing off its even place, else `next`.
std::size_t MeasureAnchorAfter(const BeatList& beats, std::size_t k, std::size_t next);

class FittedTimeline : public Timeline {
 public:
  // `beats` must outlive the timeline.
  FittedTimeline(const BeatList& beats, FitMode mode, std::int32_t divisions,
                 TappedNote note = TappedNote::kQuarter);

  bool Next(Stretch& stretch) override;
  std::unique_ptr<Timeline> Copy() const override { return std::make_unique<FittedTimeline>(*this); }
  void AddTimes(Stretch& stretch) override;

 private:
  // A cursor on the grid: the beat, the run of measures it is in, its place.
  struct Cursor {
    std::size_t k = 0;    // given beats before it (the given one it is on)
    std::size_t run = 0;
    std::int64_t measure = 0;
    std::int32_t beat = 0;
  };
  struct Span {
    std::uint64_t ticks = 0;   // the time the spacing covers, in ticks
    std::uint64_t beats = 0;   // beats it spans (of the spacing, not of the span)
    std::uint64_t count = 0;   // beats of the span
  };

  std::int32_t Meter(const Cursor& at) const { return beats_.runs[at.run].beats; }
  // The span that begins at the cursor, or false after the last.
  bool SpanAt(const Cursor& at, Span& span) const;
  void Advance(Cursor& at, std::uint64_t count) const;

  const BeatList& beats_;
  const FitMode mode_;
  const std::int32_t divisions_;
  const TappedNote note_;
  Cursor at_;
  bool done_ = false;
  Span last_;  // the spacing of the span before, for the tail
  std::int32_t number_ = 0;
  // The stretch Next gave last: its first given beat and spacing.
  std::size_t first_ = 0;
  Span spacing_;
};

}  // namespace beatmarks
