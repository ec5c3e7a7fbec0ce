#include "locate/grid_index.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/section_walk.h"
#include "locate/small_fractions.h"
#include "locate/times_reader.h"

namespace beatmarks {

namespace {

// Digits of the whole part of "[-]digits[.digits]", without leading zeros.
std::size_t WholeDigits(std::string_view time) {
  if (!time.empty() && time.front() == '-') time.remove_prefix(1);
  time = time.substr(0, time.find('.'));
  const std::size_t first = time.find_first_not_of('0');
  return first == std::string_view::npos ? 0 : time.size() - first;
}

}  // namespace

BigInt RoundedMagnitude(const Rational& magnitude, std::uint32_t scale) {
  const BigInt twice = magnitude.denominator() << 1;
  return BigInt::FloorDiv((magnitude.numerator() * BigInt::FromUnsigned(scale) << 1) + magnitude.denominator(),
                          twice);
}

std::optional<GridIndex> GridIndex::Build(Timeline& timeline, std::int32_t divisions,
                                          std::string& error) {
  if (divisions < 1) {
    error = "divisions must be at least 1";
    return std::nullopt;
  }
  GridIndex index(divisions);
  WalkStretches(timeline, StretchTimes::kAsked, [&](Stretch& s, Timeline& t) {
    if (s.divisions == 0) return true;
    t.AddTimes(s);
    if (!s.time) error = "a stretch has no exact times";
    if (s.beatsPerMeasure < 1) error = "a stretch has no beats in its measures";
    if (!error.empty()) return false;
    const double start = s.time->Nearest(0);
    const double end = s.time->Nearest(s.divisions);
    index.starts_.push_back(start);
    index.parts_.push_back(Part{index.total_, s.divisions, s.firstMeasure,
                                std::int64_t{s.firstBeat} * divisions + s.firstDivision,
                                (end - start) / static_cast<double>(s.divisions), s.beatsPerMeasure});
    index.times_.push_back(Times{std::move(*s.time), nullptr});
    s.time.reset();
    index.total_ += s.divisions;
    return true;
  });
  if (!error.empty()) return std::nullopt;
  if (!index.parts_.empty()) {
    index.end_ = index.times_.back().time.Nearest(index.parts_.back().count);
    const Rational end = index.ExactAt(index.total_, index.parts_.size() - 1);
    index.endDigits_ = BigInt::FloorDiv(end.numerator(), end.denominator()).ToDecimal().size();
  }
  index.MakeTables();
  return index;
}

void GridIndex::MakeTables() {
  startSearch_.Build(starts_);
  if (parts_.empty() || total_ > kTabledDivisions) return;
  nearest_.reserve(static_cast<std::size_t>(total_) + 1);
  for (std::size_t j = 0; j < parts_.size(); ++j) {
    nearest_.push_back(starts_[j]);
    for (u128 k = 1; k < parts_[j].count; ++k) nearest_.push_back(times_[j].time.Nearest(k));
  }
  nearest_.push_back(end_);
}

double GridIndex::DivisionNearest(std::size_t part, u128 k) const {
  const Part& p = parts_[part];
  if (!nearest_.empty()) return nearest_[static_cast<std::size_t>(p.first + k)];
  if (k == 0) return starts_[part];
  if (k < p.count) return times_[part].time.Nearest(k);
  return part + 1 < parts_.size() ? starts_[part + 1] : end_;
}

// The common denominator of the times serves as it is: no gcd is taken (one
// of a long text map's reaches thousands of bits before it is known too
// large).
const GridIndex::Times::Line& GridIndex::Times::MadeLine() const {
  if (line) return *line;
  line = std::make_unique<Line>();
  const BigInt& common = time.CommonDenominator();
  i128 q = 0, x = 0, y = 0;
  if (common.BitLength() > 126 || !Fits(common, q) || !Fits(time.NumeratorAt(0), x) ||
      !Fits(time.NumeratorAt(1), y)) {
    return *line;
  }
  *line = {x, y - x, q};
  return *line;
}

bool GridIndex::FractionAt(u128 g, std::size_t hint, Fraction& at) const {
  const std::size_t j = PartOf(g, hint);
  const Times::Line& times = times_[j].MadeLine();
  const u128 k = g - parts_[j].first;
  i128 x = 0;
  if (times.den == 0 || k > static_cast<u128>(kMaxI128) || !Multiply(static_cast<i128>(k), times.step, x) ||
      __builtin_add_overflow(x, times.base, &at.num)) {
    return false;
  }
  at.den = times.den;
  return true;
}

// The part that holds division g; the end of the grid counts as the last
// part's. Walks from a part near it.
std::size_t GridIndex::PartOf(u128 g, std::size_t hint) const {
  std::size_t j = hint;
  while (j > 0 && g < parts_[j].first) --j;
  while (j + 1 < parts_.size() && g >= parts_[j + 1].first) ++j;
  return j;
}

double GridIndex::NearestAt(u128 g, std::size_t hint) const {
  if (!nearest_.empty()) return nearest_[static_cast<std::size_t>(g)];
  const std::size_t j = PartOf(g, hint);
  if (g == parts_[j].first) return starts_[j];  // no need to reach for its times
  if (g == total_) return end_;
  return times_[j].time.Nearest(g - parts_[j].first);
}

Rational GridIndex::ExactAt(u128 g, std::size_t hint) const {
  const std::size_t j = PartOf(g, hint);
  return times_[j].time.At(g - parts_[j].first);
}

GridIndex::Place GridIndex::PlaceOf(std::size_t part, u128 k) const {
  const Part& p = parts_[part];
  const u128 perBeat = static_cast<u128>(divisions_);
  const u128 perMeasure = perBeat * static_cast<u128>(p.beatsPerMeasure);
  const u128 into = static_cast<u128>(p.into) + k;
  Place place;
  place.part = part;
  place.g = p.first + k;
  // In 64 bits where it fits: far quicker than 128-bit division.
  const auto split = [&](auto n, auto beat, auto measure) {
    const auto inMeasure = n % measure;
    place.measure = p.firstMeasure + static_cast<std::int64_t>(n / measure);
    place.beat = static_cast<std::int32_t>(inMeasure / beat);
    place.division = static_cast<std::int32_t>(inMeasure % beat);
  };
  if (into <= UINT64_MAX && perMeasure <= UINT64_MAX) {
    split(static_cast<std::uint64_t>(into), static_cast<std::uint64_t>(perBeat),
          static_cast<std::uint64_t>(perMeasure));
  } else {
    split(into, perBeat, perMeasure);
  }
  const u128 division = static_cast<u128>(place.division);
  place.beatStart = place.g >= division ? place.g - division : 0;
  // A later part that begins inside the beat carries it on, or, where a
  // meter change cut the measure short, begins a new one: the beat ends there.
  u128 end = place.beatStart + perBeat;
  for (std::size_t j = part + 1; j < parts_.size() && parts_[j].first < end; ++j) {
    const Part& q = parts_[j];
    if (static_cast<u128>(q.into) % perBeat != q.first - place.beatStart) {
      end = q.first;
      break;
    }
  }
  place.beatEnd = std::min(end, total_);
  return place;
}

void GridIndex::SetNearest(const Place& place, bool later, Position& position) const {
  position.where = Position::Where::kIn;
  position.measure = place.measure;
  position.beat = place.beat;
  position.early = later;
  if (!later) {
    position.nearestMeasure = place.measure;
    position.nearestBeat = place.beat;
    position.nearestDivision = place.division;
    return;
  }
  const std::size_t part = PartOf(place.g + 1, place.part);
  const Place next = PlaceOf(part, place.g + 1 - parts_[part].first);
  position.nearestMeasure = next.measure;
  position.nearestBeat = next.beat;
  position.nearestDivision = next.division;
}

Position GridIndex::Locate(std::string_view time, std::uint32_t rate) const {
  Position position;
  // At least 10^endDigits_, past the end: nothing to read exactly.
  if (!parts_.empty() && WholeDigits(time) > endDigits_) {
    position.where = time.front() == '-' ? Position::Where::kBefore : Position::Where::kAfter;
    return position;
  }
  if (LocateFast(time, rate, position)) return position;
  return LocateExact(ExactTimeOf(time), rate);
}

Position GridIndex::LocateExact(const Rational& t, std::uint32_t rate) const {
  Position position;
  if (parts_.empty()) {
    position.where = Position::Where::kAfter;
    return position;
  }
  // Nearest doubles keep the order of the exact values, so only parts whose
  // start rounds to the same double as t need an exact look.
  const double near = NearestDouble(t);
  std::size_t i = static_cast<std::size_t>(
      std::upper_bound(starts_.begin(), starts_.end(), near) - starts_.begin());
  while (i > 0 && starts_[i - 1] == near && times_[i - 1].time.At(0) > t) --i;
  if (i == 0) {
    position.where = Position::Where::kBefore;
    return position;
  }
  --i;
  if (near > end_ || (near == end_ && t >= ExactAt(total_, parts_.size() - 1))) {
    position.where = Position::Where::kAfter;
    return position;
  }
  const Part& p = parts_[i];
  const LinearTime& time = times_[i].time;
  const Rational start = time.At(0);
  const Rational x = (t - start) / (time.At(1) - start);
  u128 k = Held(BigInt::FloorDiv(x.numerator(), x.denominator()));
  if (k >= p.count) k = p.count - 1;  // in the last division, which ends where the next part begins
  const Place place = PlaceOf(i, k);

  const Rational a = t - time.At(k);
  const Rational b = ExactAt(place.g + 1, i) - t;
  const bool later = place.g + 1 < total_ && b <= a;
  const Rational& magnitude = later ? b : a;
  if (!RoundedMagnitude(magnitude, 1000000).ToUnsigned128(position.micros) ||
      !RoundedMagnitude(magnitude, 1000000000).ToUnsigned128(position.nanos) ||
      !RoundedMagnitude(magnitude, rate).ToUnsigned128(position.samples)) {
    position.micros = position.nanos = position.samples = 0;
    position.wide = magnitude;
  }

  const Rational beatStart = ExactAt(place.beatStart, i);
  const Rational y = (t - beatStart) / (ExactAt(place.beatEnd, i) - beatStart);
  position.intoBeat = static_cast<std::uint32_t>(
      Held(BigInt::FloorDiv(y.numerator() * BigInt(1000000), y.denominator())));
  SetNearest(place, later, position);
  return position;
}

}  // namespace beatmarks
