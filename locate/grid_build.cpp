// The index built: one walk of the timeline, each part's start and place in
// its measure; and the table of every division's nearest double, made a few
// parts at a time as times fall among them.

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
  index.Reserve(timeline.StretchesHint());
  index.times_.Begin(timeline);
  WalkStretches(timeline, StretchTimes::kAsked, [&](Stretch& s, Timeline& t) {
    if (also) also(s, t);
    if (s.divisions == 0) return true;
    // Its start alone where the timeline has it: its times are made again
    // if ever needed.
    const bool kept = index.times_.Keeps(index.firsts_.size());
    const std::optional<double> start = kept ? std::nullopt : t.FirstNearest();
    if (!start) t.AddTimes(s);
    if (!start && !s.time) error = "a stretch has no exact times";
    if (s.beatsPerMeasure < 1) error = "a stretch has no beats in its measures";
    if (!error.empty()) return false;
    const std::int64_t into = std::int64_t{s.firstBeat} * divisions + s.firstDivision;
    index.AddPart(s, start ? *start : s.time->Nearest(0), into);
    index.times_.Add(s, t);
    return true;
  });
  if (!error.empty()) return std::nullopt;
  index.Finish();
  return index;
}

void GridIndex::Reserve(std::size_t parts) {
  starts_.reserve(parts);
  firsts_.reserve(parts);
  meterOf_.reserve(parts);
  times_.Reserve(parts);
}

void GridIndex::AddPart(const Stretch& s, double start, std::int64_t into) {
  starts_.push_back(start);
  firsts_.push_back(total_);
  // The same meter, and its measures running on to where this part begins.
  bool follows = false;
  if (!meters_.empty() && meters_.back().beatsPerMeasure == s.beatsPerMeasure) {
    const Meter& m = meters_.back();
    const u128 perMeasure = static_cast<u128>(divisions_) * static_cast<u128>(s.beatsPerMeasure);
    const u128 n = m.into + (total_ - m.first);
    // In 64 bits where it fits: far quicker than 128-bit division.
    const bool narrow = (n | perMeasure) >> 64 == 0;
    const u128 measures = narrow ? static_cast<std::uint64_t>(n) / static_cast<std::uint64_t>(perMeasure)
                                 : n / perMeasure;
    follows = n - measures * perMeasure == static_cast<u128>(into) &&
              measures <= static_cast<u128>(INT64_MAX) &&
              static_cast<__int128>(m.firstMeasure) + static_cast<__int128>(measures) == s.firstMeasure;
  }
  if (!follows) {
    meters_.push_back(Meter{total_, s.firstMeasure, static_cast<u128>(into), s.beatsPerMeasure});
  }
  meterOf_.push_back(static_cast<std::uint32_t>(meters_.size() - 1));
  total_ += s.divisions;
}

void GridIndex::Finish() {
  if (!firsts_.empty()) {
    const std::size_t last = firsts_.size() - 1;
    end_ = times_.Nearest(last, Count(last));
    const Rational end = times_.At(last, Count(last));
    endDigits_ = BigInt::FloorDiv(end.numerator(), end.denominator()).ToDecimal().size();
    if (total_ <= kTabledDivisions) chunks_.resize((firsts_.size() + kChunkParts - 1) / kChunkParts);
  }
  startSearch_.Build(starts_);
}

// The doubles of the divisions of chunk c's parts, and the one after them
// (the next part's start, or the end).
const double* GridIndex::Chunk(std::size_t c) const {
  std::unique_ptr<double[]>& chunk = chunks_[c];
  if (chunk) return chunk.get();
  const std::size_t first = c * kChunkParts, stop = std::min(first + kChunkParts, firsts_.size());
  const u128 base = firsts_[first];
  const u128 after = stop < firsts_.size() ? firsts_[stop] : total_;
  chunk = std::make_unique_for_overwrite<double[]>(static_cast<std::size_t>(after - base) + 1);
  double* at = chunk.get();
  for (std::size_t j = first; j < stop; ++j) {
    *at++ = starts_[j];
    for (u128 k = 1, count = Count(j); k < count; ++k) *at++ = times_.Nearest(j, k);
  }
  *at = stop < firsts_.size() ? starts_[stop] : end_;
  return chunk.get();
}

}  // namespace beatmarks
