#include "locate/grid_index.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "locate/small_fractions.h"
#include "locate/times_reader.h"

namespace beatmarks {
namespace {

// Why the doubles may decide. Every time the fast way uses (the time, the
// divisions around it, the bounds of its beat) is the double nearest the
// exact value, and all lie in [0, M] with M the end of the beat. A
// difference of two of them then errs by at most 3 x M x 2^-53 (each value
// by half an ulp, the subtraction by another); `e` = M x 2^-50 bounds that
// with room to spare. Every decision below is taken only when the computed
// value is farther than its error bound from where the decision turns (an
// integer, a half, a tie); otherwise the exact way decides.

// The magnitude x scale rounded, a half up, when the bound settles it.
bool RoundedFast(double magnitude, double scale, double e, u128& rounded) {
  const double v = magnitude * scale;
  const double error = 2 * (e * scale + (v + 1) * 0x1p-50);
  if (!(v + error < 0x1p50)) return false;
  const double low = std::floor(v - error + 0.5), high = std::floor(v + error + 0.5);
  if (low != high || low < 0) return false;
  rounded = static_cast<std::uint64_t>(low);
  return true;
}

}  // namespace

BigInt RoundedMagnitude(const Rational& magnitude, std::uint32_t scale) {
  const BigInt twice = magnitude.denominator() << 1;
  return BigInt::FloorDiv((magnitude.numerator() * BigInt::FromUnsigned(scale) << 1) + magnitude.denominator(),
                          twice);
}

GridIndex GridIndex::Build(Timeline& timeline, std::int32_t divisions) {
  if (divisions < 1) throw std::invalid_argument("Divisions must be at least 1");
  GridIndex index(divisions);
  Stretch s;
  while (timeline.Next(s)) {
    if (s.divisions == 0) continue;
    timeline.AddTimes(s);
    if (!s.time) throw std::invalid_argument("A stretch has no exact times");
    if (s.beatsPerMeasure < 1) throw std::invalid_argument("A stretch has no beats in its measures");
    const double start = s.time->Nearest(0);
    const double end = s.time->Nearest(s.divisions);
    index.starts_.push_back(start);
    index.parts_.push_back(Part{index.total_, s.divisions, s.firstMeasure,
                                std::int64_t{s.firstBeat} * divisions + s.firstDivision,
                                (end - start) / static_cast<double>(s.divisions), s.beatsPerMeasure});
    index.times_.push_back(Times{0, 0, 0, false, std::move(*s.time)});
    s.time.reset();
    index.total_ += s.divisions;
  }
  if (!index.parts_.empty()) {
    index.end_ = index.times_.back().time.Nearest(index.parts_.back().count);
  }
  return index;
}

void GridIndex::Times::MakeFraction() const {
  made = true;
  const Rational zero = time.At(0), one = time.At(1);
  i128 a = 0, qa = 0, b = 0, qb = 0;
  if (!Fits(zero.numerator(), a) || !Fits(zero.denominator(), qa) || !Fits(one.numerator(), b) ||
      !Fits(one.denominator(), qb)) {
    return;
  }
  const i128 common = static_cast<i128>(Gcd(static_cast<u128>(qa), static_cast<u128>(qb)));
  i128 q = 0, x = 0, y = 0;
  if (Multiply(qa / common, qb, q) && Multiply(a, q / qa, x) && Multiply(b, q / qb, y)) {
    base = x;
    step = y - x;
    den = q;
  }
}

bool GridIndex::FractionAt(u128 g, std::size_t hint, Fraction& at) const {
  const std::size_t j = PartOf(g, hint);
  const Times& times = times_[j];
  if (!times.made) times.MakeFraction();
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

bool GridIndex::LocateFast(std::string_view text, std::uint32_t rate, Position& position) const {
  double t = 0;
  const char* end = text.data() + text.size();
  const auto [stop, problem] = std::from_chars(text.data(), end, t);
  if (problem != std::errc() || stop != end) return false;
  if (parts_.empty()) {
    position.where = Position::Where::kAfter;
    return true;
  }
  // The exact time, made when first needed.
  Fraction exact{0, 0};
  const auto exactTime = [&] { return exact.den != 0 || SmallTimeOf(text, exact); };
  // The sign of t less the time of division g (its double `near`): from the
  // doubles where they differ, else exactly; 2 where that does not fit.
  const auto order = [&](u128 g, std::size_t hint, double near) {
    if (t != near) return t < near ? -1 : 1;
    Fraction at{0, 0}, difference{0, 0};
    if (!exactTime() || !FractionAt(g, hint, at) || !Minus(exact, at, difference)) return 2;
    return difference.num < 0 ? -1 : difference.num > 0 ? 1 : 0;
  };

  std::size_t i = static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), t) - starts_.begin());
  // Parts whose start rounds to the same double as t may still begin after it.
  for (; i > 0; --i) {
    const int after = order(parts_[i - 1].first, i - 1, starts_[i - 1]);
    if (after == 2) return false;
    if (after >= 0) break;
  }
  if (i == 0) {
    position.where = Position::Where::kBefore;
    return true;
  }
  --i;
  const int past = order(total_, parts_.size() - 1, end_);
  if (past == 2) return false;
  if (past >= 0) {
    position.where = Position::Where::kAfter;
    return true;
  }
  // The division that holds t: a guess from the mean step, then moved until
  // its time and the next one's bracket t.
  const Part& p = parts_[i];
  const LinearTime& time = times_[i].time;
  const double guess = std::floor((t - starts_[i]) / p.step);
  u128 k = 0;
  if (guess >= static_cast<double>(p.count - 1)) {
    k = p.count - 1;
  } else if (guess > 0) {
    k = static_cast<u128>(guess);
  }
  double low = 0, high = 0;
  int onLow = 0;  // the sign of t less the time of division k
  for (int tries = 0;; ++tries) {
    if (tries == 4) return false;
    low = k == 0 ? starts_[i] : time.Nearest(k);
    onLow = order(p.first + k, i, low);
    if (onLow == 2 || (onLow < 0 && k == 0)) return false;
    if (onLow < 0) {
      --k;
      continue;
    }
    high = k + 1 < p.count ? time.Nearest(k + 1) : i + 1 < parts_.size() ? starts_[i + 1] : end_;
    const int onHigh = order(p.first + k + 1, i, high);
    if (onHigh == 2 || (onHigh >= 0 && k + 1 >= p.count)) return false;
    if (onHigh >= 0) {
      ++k;
      continue;
    }
    break;
  }
  const Place place = PlaceOf(i, k);
  const double beatStart = place.beatStart == place.g ? low : NearestAt(place.beatStart, i);
  const double beatEnd = place.beatEnd == place.g + 1 ? high : NearestAt(place.beatEnd, i);
  if (!(beatEnd < 0x1p1000) || beatEnd < 0x1p-900) return false;
  const double e = beatEnd * 0x1p-50;

  // The nearest division and the distance to it.
  bool later = false;
  if (onLow == 0) {
    position.micros = position.nanos = position.samples = 0;
  } else {
    const double a = t - low, b = high - t;
    // The exact distances to division g and to the next, made when needed.
    Fraction toLow{0, 0}, toHigh{0, 0};
    const auto exactTo = [&](bool next) {
      Fraction& distance = next ? toHigh : toLow;
      Fraction at{0, 0};
      return distance.den != 0 ||
             (exactTime() && FractionAt(place.g + (next ? 1 : 0), i, at) &&
              (next ? Minus(at, exact, distance) : Minus(exact, at, distance)));
    };
    if (place.g + 1 < total_) {
      const double difference = a - b;
      if (std::fabs(difference) > 4 * e) {
        later = difference > 0;
      } else {
        Fraction closer{0, 0};
        if (!exactTo(false) || !exactTo(true) || !Minus(toHigh, toLow, closer)) return false;
        later = closer.num <= 0;  // halfway: the later one
      }
    }
    const double magnitude = later ? b : a;
    const auto round = [&](double scale, u128& rounded) {
      return RoundedFast(magnitude, scale, e, rounded) ||
             (exactTo(later) && RoundedSmall(later ? toHigh : toLow, static_cast<i128>(scale), rounded));
    };
    if (!round(1e6, position.micros) || !round(1e9, position.nanos) ||
        !round(static_cast<double>(rate), position.samples)) {
      return false;
    }
  }

  // How far into its beat.
  const double length = beatEnd - beatStart;
  if (!(length > 8 * e)) return false;
  const double y = (t - beatStart) / length;
  const double errorY = 2 * e / (length - e) + 0x1p-52;
  const double z = y * 1e6;
  const double errorZ = 2 * (errorY * 1e6 + (z + 1) * 0x1p-50);
  const double into = std::floor(z - errorZ);
  if (onLow == 0 && place.beatStart == place.g) {
    position.intoBeat = 0;
  } else if (into == std::floor(z + errorZ) && into >= 0 && into <= 999999) {
    position.intoBeat = static_cast<std::uint32_t>(into);
  } else {
    Fraction first{0, 0}, next{0, 0}, done{0, 0}, whole{0, 0};
    if (!exactTime() || !FractionAt(place.beatStart, i, first) || !FractionAt(place.beatEnd, i, next) ||
        !Minus(exact, first, done) || !Minus(next, first, whole) ||
        !MillionthsSmall(done, whole, position.intoBeat)) {
      return false;
    }
  }
  SetNearest(place, later, position);
  return true;
}

Position GridIndex::Locate(std::string_view time, std::uint32_t rate) const {
  Position position;
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
