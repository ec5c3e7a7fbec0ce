#include "locate/grid_index.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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

double GridIndex::StepOf(std::size_t part) const {
  const double next = part + 1 < starts_.size() ? starts_[part + 1] : end_;
  return (next - starts_[part]) / static_cast<double>(Count(part));
}

const GridIndex::Meter& GridIndex::MeterOf(std::size_t part) const { return meters_[meterOf_[part]]; }

double GridIndex::DivisionNearest(std::size_t part, u128 k) const {
  if (!chunks_.empty()) {
    const std::size_t c = part / kChunkParts;
    return Chunk(c)[static_cast<std::size_t>(firsts_[part] + k - firsts_[c * kChunkParts])];
  }
  if (k == 0) return starts_[part];
  if (k < Count(part)) return times_.Nearest(part, k);
  return part + 1 < starts_.size() ? starts_[part + 1] : end_;
}

bool GridIndex::FractionAt(u128 g, std::size_t hint, Fraction& at) const {
  const std::size_t j = PartOf(g, hint);
  const PartTimes::Line times = times_.LineOf(j);
  const u128 k = g - firsts_[j];
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
  while (j > 0 && g < firsts_[j]) --j;
  while (j + 1 < firsts_.size() && g >= firsts_[j + 1]) ++j;
  return j;
}

double GridIndex::NearestAt(u128 g, std::size_t hint) const {
  const std::size_t j = PartOf(g, hint);
  if (!chunks_.empty()) return DivisionNearest(j, g - firsts_[j]);
  if (g == firsts_[j]) return starts_[j];  // no need to reach for its times
  if (g == total_) return end_;
  return times_.Nearest(j, g - firsts_[j]);
}

Rational GridIndex::ExactAt(u128 g, std::size_t hint) const {
  const std::size_t j = PartOf(g, hint);
  return times_.At(j, g - firsts_[j]);
}

GridIndex::Place GridIndex::PlaceOf(std::size_t part, u128 k) const {
  const Meter& m = MeterOf(part);
  const u128 perBeat = static_cast<u128>(divisions_);
  const u128 perMeasure = perBeat * static_cast<u128>(m.beatsPerMeasure);
  Place place;
  place.part = part;
  place.g = firsts_[part] + k;
  const u128 into = m.into + (place.g - m.first);
  // In 64 bits where it fits: far quicker than 128-bit division.
  const auto split = [&](auto n, auto beat, auto measure) {
    const auto inMeasure = n % measure;
    place.measure = m.firstMeasure + static_cast<std::int64_t>(n / measure);
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
  // A later run of measures that begins inside the beat carries it on, or,
  // where a meter change cut the measure short, begins a new one: the beat
  // ends there. (The parts of one run carry their beats on.)
  u128 end = place.beatStart + perBeat;
  for (auto q = meters_.begin() + (&m - meters_.data()) + 1; q != meters_.end() && q->first < end; ++q) {
    if (q->into % perBeat != q->first - place.beatStart) {
      end = q->first;
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
  const Place next = PlaceOf(part, place.g + 1 - firsts_[part]);
  position.nearestMeasure = next.measure;
  position.nearestBeat = next.beat;
  position.nearestDivision = next.division;
}

Position GridIndex::Locate(std::string_view time, std::uint32_t rate) const {
  Position position;
  // At least 10^endDigits_, past the end: nothing to read exactly.
  if (!firsts_.empty() && WholeDigits(time) > endDigits_) {
    position.where = time.front() == '-' ? Position::Where::kBefore : Position::Where::kAfter;
    return position;
  }
  if (LocateFast(time, rate, position)) return position;
  return LocateExact(ExactTimeOf(time), rate);
}

Position GridIndex::LocateExact(const Rational& t, std::uint32_t rate) const {
  Position position;
  if (firsts_.empty()) {
    position.where = Position::Where::kAfter;
    return position;
  }
  // Nearest doubles keep the order of the exact values, so only parts whose
  // start rounds to the same double as t need an exact look.
  const double near = NearestDouble(t);
  std::size_t i = static_cast<std::size_t>(
      std::upper_bound(starts_.begin(), starts_.end(), near) - starts_.begin());
  while (i > 0 && starts_[i - 1] == near && times_.At(i - 1, 0) > t) --i;
  if (i == 0) {
    position.where = Position::Where::kBefore;
    return position;
  }
  --i;
  if (near > end_ || (near == end_ && t >= ExactAt(total_, firsts_.size() - 1))) {
    position.where = Position::Where::kAfter;
    return position;
  }
  const Rational start = times_.At(i, 0);
  const Rational x = (t - start) / (times_.At(i, 1) - start);
  u128 k = Held(BigInt::FloorDiv(x.numerator(), x.denominator()));
  // In the last division, which ends where the next part begins.
  if (const u128 count = Count(i); k >= count) k = count - 1;
  const Place place = PlaceOf(i, k);

  const Rational a = t - times_.At(i, k);
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
