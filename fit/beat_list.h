#pragma once

// The beats of a performance, as a list of times on the recording's clock,
// checked and held compactly: every time as a whole number of ticks of one
// common length (1/10^D s for decimals, one sample for cue points; finer
// where beats added for missed taps need it to lie exactly on their even
// places), and the measures they fall in as runs of measures of one length.
//
// Beats are consecutive: the k-th given beat is the k-th beat of the grid
// from the first given one. Without positions they begin on measure 1, beat 1
// and every measure has the same number of beats. With positions ("M.B"),
// each measure has as many beats as the last one given in it; beats before the
// first downbeat make a pickup (the end of a measure whose first beats are
// not given); the last measure is filled up to the length of the one before
// it (or the meter asked for, for a map of one measure).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exact/rational.h"
#include "fit/beat_place.h"
#include "fit/tap_repair.h"

namespace beatmarks {

// Measures of one length, from `firstMeasure` (0-based) to the next run.
struct MeasureRun {
  std::int64_t firstMeasure = 0;
  std::int64_t firstBeat = 0;  // beats of the measures before it
  std::int32_t beats = 0;      // a measure
};

struct BeatList {
  std::vector<std::uint64_t> ticks;  // increasing
  std::uint64_t ticksPerSecond = 1;
  std::int32_t pickup = 0;           // beats of the first measure before the first given one
  std::vector<MeasureRun> runs;
  std::int64_t measureCount = 0;     // up to the end of the last beat's measure
  std::int64_t firstNumber = 1;      // the first measure's number, as positions give it
  bool positioned = false;

  std::size_t size() const { return ticks.size(); }
  Rational TimeOf(std::size_t k) const;
  // Measure index and beat of the k-th given beat.
  BeatPlace PlaceOf(std::size_t k) const;
  // The first given beat from the start of `measure` (an index) on; size()
  // when there is none.
  std::size_t FirstFrom(std::int64_t measure) const;
};

// Where a beat came from, for messages: "taps.txt line 7" or "taps.wav cue
// point 3" (`file` as messages name it).
struct BeatSource {
  enum class Kind { kLine, kCuePoint } kind = Kind::kLine;
  std::uint64_t number = 0;
  std::string_view file = "BEATS";
  std::string Name() const;
};

// Takes the beats in order and checks them as they come: times that
// increase, positions that follow one another without a gap.
class BeatListBuilder {
 public:
  // `meter`: beats a measure without positions (and of a map of one measure).
  explicit BeatListBuilder(std::int32_t meter, std::size_t expected = 0);
  // The file's name in messages (BeatSource::file); call before the first Add.
  void UseName(std::string name) { name_ = std::move(name); }

  // Taps mended (tap_repair.h) instead of refused, and a list without
  // positions that begins with `pickup` beats before its first downbeat
  // (measure 0); call before the first Add.
  // `mostAdded`: beats added in one gap at most (fit/tap_repair.h).
  void Mend(std::int32_t pickup, std::int64_t mostAdded = kMostMended);
  const std::vector<TapRepair>& repairs() const { return repairs_; }

  // One beat is enough (a tap that anchors a recording heard whole).
  void AcceptOne() { fewest_ = 1; }
  // Times in ticks of 1/rate s (cue points); call before the first Add.
  void UseSamples(std::uint32_t rate);
  // A decimal time as written ("[-]digits[.digits]"), or a sample position;
  // false with error() set on a problem.
  bool AddDecimal(std::string_view text, const std::optional<BeatPlace>& place,
                  const BeatSource& source);
  bool AddSample(std::uint64_t sample, const std::optional<BeatPlace>& place,
                 const BeatSource& source);
  // The list, once every beat is in; false with error() set when it cannot
  // be fitted (fewer than two beats, or than one with AcceptOne).
  bool Finish(BeatList& list);

  const std::string& error() const { return error_; }

 private:
  bool Add(std::uint64_t ticks, std::string_view shown, const std::optional<BeatPlace>& place,
           const BeatSource& source);
  bool Place(const std::optional<BeatPlace>& place, const BeatSource& source, bool first);
  bool Replay();
  void EndMeasure(std::int32_t beats);
  bool Fail(const BeatSource& source, const std::string& what);

  const std::int32_t meter_;
  std::size_t fewest_ = 2;  // beats a list needs
  BeatList list_;
  int decimals_ = 0;  // ticks are 10^-decimals_ s (unless samples)
  std::string last_;  // the last time as shown
  BeatPlace at_;       // the last position, as written
  std::int32_t lastMeter_ = 0;  // beats of the last measure ended, 0 before
  std::string error_;
  std::string name_ = "BEATS";
  bool mend_ = false;
  bool placed_ = false;  // a tap read so far had a place
  std::int32_t listPickup_ = 0;
  std::int64_t mostAdded_ = kMostMended;
  BeatSource::Kind kind_ = BeatSource::Kind::kLine;
  Taps taps_;  // as read, while mending
  std::vector<TapRepair> repairs_;
};

// "M.B" or "M.B.1" as a position, also with ':' between the numbers and
// "bar" (in any case) before them ("Bar 3:2"): whole numbers, the measure as written, the
// beat from 1. Nothing for a text of another form; nothing with `problem` set
// for one of this form that is no beat ("M.0", a later division "M.B.2", a
// number past 2^31 - 1).
std::optional<BeatPlace> PositionOf(std::string_view text, std::string& problem);

}  // namespace beatmarks
