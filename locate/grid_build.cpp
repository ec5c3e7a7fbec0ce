// The index built: one walk of the timeline, each part's start and place in
// its measure, and the table of every division's nearest double.

#include <algorithm>

#include "core/section_walk.h"
#include "locate/grid_index.h"

namespace beatmarks {

std::optional<GridIndex> GridIndex::Build(Timeline& timeline, std::int32_t divisions, std::string& error,
                                          const StretchVisitor& also, std::size_t keptParts) {
  if (divisions < 1) {
    error = "divisions must be at least 1";
    return std::nullopt;
  }
  GridIndex index(divisions, keptParts);
  index.times_.Begin(timeline);
  WalkStretches(timeline, StretchTimes::kAsked, [&](Stretch& s, Timeline& t) {
    if (also) also(s, t);
    if (s.divisions == 0) return true;
    t.AddTimes(s);
    if (!s.time) error = "a stretch has no exact times";
    if (s.beatsPerMeasure < 1) error = "a stretch has no beats in its measures";
    if (!error.empty()) return false;
    const std::size_t part = index.firsts_.size();
    index.AddPart(s, std::int64_t{s.firstBeat} * divisions + s.firstDivision);
    // A part whose times are not kept is tabled now, while they are at hand.
    if (!index.times_.Keeps(part)) {
      index.TabulateKept();
      index.Tabulate(*s.time, part);
    }
    index.times_.Add(std::move(*s.time), t);
    s.time.reset();
    return true;
  });
  if (!error.empty()) return std::nullopt;
  index.Finish();
  return index;
}

void GridIndex::AddPart(const Stretch& s, std::int64_t into) {
  starts_.push_back(s.time->Nearest(0));
  firsts_.push_back(total_);
  // The same meter, and its measures running on to where this part begins.
  bool follows = false;
  if (!meters_.empty() && meters_.back().beatsPerMeasure == s.beatsPerMeasure) {
    const Meter& m = meters_.back();
    const u128 perMeasure = static_cast<u128>(divisions_) * static_cast<u128>(s.beatsPerMeasure);
    const u128 n = m.into + (total_ - m.first);
    const u128 measures = n / perMeasure;
    follows = n % perMeasure == static_cast<u128>(into) && measures <= static_cast<u128>(INT64_MAX) &&
              static_cast<__int128>(m.firstMeasure) + static_cast<__int128>(measures) == s.firstMeasure;
  }
  if (!follows) {
    meters_.push_back(Meter{firsts_.size() - 1, total_, s.firstMeasure, static_cast<u128>(into),
                            s.beatsPerMeasure});
  }
  total_ += s.divisions;
}

// The divisions of part j (the next to be tabled), while the grid stays
// short enough to table.
void GridIndex::Tabulate(const LinearTime& time, std::size_t part) {
  if (!tabling_) return;
  const u128 count = Count(part);
  if (firsts_[part] + count > kTabledDivisions) {
    tabling_ = false;
    nearest_ = {};
    return;
  }
  nearest_.push_back(starts_[part]);
  for (u128 k = 1; k < count; ++k) nearest_.push_back(time.Nearest(k));
}

// The parts that keep their times, tabled once: when the first part that
// does not comes, or at the end (then only if the whole grid is short enough).
void GridIndex::TabulateKept() {
  if (!tabling_ || !nearest_.empty()) return;
  if (total_ > kTabledDivisions) {
    tabling_ = false;
    return;
  }
  for (std::size_t j = 0; j < firsts_.size() && times_.Keeps(j); ++j) Tabulate(times_.Kept(j), j);
}

void GridIndex::Finish() {
  if (!firsts_.empty()) {
    const std::size_t last = firsts_.size() - 1;
    end_ = times_.Nearest(last, Count(last));
    const Rational end = times_.At(last, Count(last));
    endDigits_ = BigInt::FloorDiv(end.numerator(), end.denominator()).ToDecimal().size();
    TabulateKept();
    if (tabling_) nearest_.push_back(end_);
  }
  startSearch_.Build(starts_);
}

}  // namespace beatmarks
