// The fast way of placing a time: doubles where they decide, small exact
// fractions where they do not, and false (the exact way then) where even
// those do not fit.

#include <algorithm>
#include <charconv>
#include <cmath>

#include "locate/grid_index.h"
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

bool GridIndex::ExactTime(Probe& p) const {
  return p.exact.den != 0 || SmallTimeOf(p.text, p.exact);
}

bool GridIndex::FixedTime(Probe& p) const {
  if (p.fixedMade == 0) p.fixedMade = FixedSpanOf(p.text, p.fixed) ? 1 : -1;
  return p.fixedMade > 0;
}

bool GridIndex::FixedAt(u128 g, std::size_t hint, FixedSpan& span) const {
  const std::size_t j = PartOf(g, hint);
  LinearTime::Fixed low;
  u128 error = 0;
  if (!times_.FixedBounds(j, g - firsts_[j], low, error)) return false;
  span.low = Wide::FromFixed(low);
  span.high = span.low + Wide::FromUnsigned(error);
  return true;
}

int GridIndex::Order(Probe& p, u128 g, std::size_t hint, double near) const {
  if (p.t != near) return p.t < near ? -1 : 1;
  FixedSpan division;
  if (FixedTime(p) && FixedAt(g, hint, division)) {
    const int order = OrderOf(p.fixed, division);
    if (order != 2) return order;
  }
  Fraction at{0, 0}, difference{0, 0};
  if (!ExactTime(p) || !FractionAt(g, hint, at) || !Minus(p.exact, at, difference)) return 2;
  return difference.num < 0 ? -1 : difference.num > 0 ? 1 : 0;
}

GridIndex::Step GridIndex::FindPart(Probe& p, Position& position) const {
  std::size_t i = startSearch_.UpperBound(starts_, p.t);
  // Parts whose start rounds to the same double as t may still begin after it.
  for (; i > 0; --i) {
    const int after = Order(p, firsts_[i - 1], i - 1, starts_[i - 1]);
    if (after == 2) return Step::kUndecided;
    if (after >= 0) break;
  }
  if (i == 0) {
    position.where = Position::Where::kBefore;
    return Step::kDone;
  }
  p.part = i - 1;
  const int past = Order(p, total_, firsts_.size() - 1, end_);
  if (past == 2) return Step::kUndecided;
  if (past < 0) return Step::kOn;
  position.where = Position::Where::kAfter;
  return Step::kDone;
}

bool GridIndex::FindDivision(Probe& p) const {
  const std::size_t i = p.part;
  const u128 first = firsts_[i], count = Count(i);
  // A guess from the mean step, then moved until the division's time and the
  // next one's bracket t.
  const double guess = std::floor((p.t - starts_[i]) / StepOf(i));
  u128 k = 0;
  if (guess >= static_cast<double>(count - 1)) {
    k = count - 1;
  } else if (guess > 0) {
    k = static_cast<u128>(guess);
  }
  for (int tries = 0; tries < 4; ++tries) {
    p.low = DivisionNearest(i, k);
    p.onLow = Order(p, first + k, i, p.low);
    if (p.onLow == 2 || (p.onLow < 0 && k == 0)) return false;
    if (p.onLow < 0) {
      --k;
      continue;
    }
    p.high = DivisionNearest(i, k + 1);
    const int onHigh = Order(p, first + k + 1, i, p.high);
    if (onHigh == 2 || (onHigh >= 0 && k + 1 >= count)) return false;
    if (onHigh < 0) {
      p.place = PlaceOf(i, k);
      return true;
    }
    ++k;
  }
  return false;
}

bool GridIndex::BeatBounds(Probe& p) const {
  const Place& place = p.place;
  p.beatStart = place.beatStart == place.g ? p.low : NearestAt(place.beatStart, p.part);
  p.beatEnd = place.beatEnd == place.g + 1 ? p.high : NearestAt(place.beatEnd, p.part);
  if (!(p.beatEnd < 0x1p1000) || p.beatEnd < 0x1p-900) return false;
  p.e = p.beatEnd * 0x1p-50;
  return true;
}

bool GridIndex::ExactDistance(Probe& p, bool next) const {
  Fraction& distance = next ? p.toHigh : p.toLow;
  Fraction at{0, 0};
  return distance.den != 0 ||
         (ExactTime(p) && FractionAt(p.place.g + (next ? 1 : 0), p.part, at) &&
          (next ? Minus(at, p.exact, distance) : Minus(p.exact, at, distance)));
}

int GridIndex::LaterFixed(Probe& p) const {
  FixedSpan low, high;
  if (!FixedTime(p) || !FixedAt(p.place.g, p.part, low) || !FixedAt(p.place.g + 1, p.part, high)) {
    return 2;
  }
  // Later when (t - low) - (high - t) >= 0.
  const FixedSpan difference = (p.fixed + p.fixed) - (low + high);
  if (!difference.low.Negative()) return 1;
  return difference.high.Negative() ? 0 : 2;
}

bool GridIndex::RoundedFixed(Probe& p, std::uint64_t scale, u128& rounded) const {
  FixedSpan division;
  if (!FixedTime(p) || !FixedAt(p.place.g + (p.later ? 1 : 0), p.part, division)) return false;
  return RoundedSpan(p.later ? division - p.fixed : p.fixed - division, scale, rounded);
}

bool GridIndex::Nearest(Probe& p, Position& position) const {
  if (p.onLow == 0) {
    position.micros = position.nanos = position.samples = 0;
    return true;
  }
  const double a = p.t - p.low, b = p.high - p.t;
  if (p.place.g + 1 < total_) {
    const double difference = a - b;
    if (std::fabs(difference) > 4 * p.e) {
      p.later = difference > 0;
    } else if (const int later = LaterFixed(p); later != 2) {
      p.later = later == 1;
    } else {
      Fraction closer{0, 0};
      if (!ExactDistance(p, false) || !ExactDistance(p, true) ||
          !Minus(p.toHigh, p.toLow, closer)) {
        return false;
      }
      p.later = closer.num <= 0;  // halfway: the later one
    }
  }
  const double magnitude = p.later ? b : a;
  const auto round = [&](double scale, u128& rounded) {
    return RoundedFast(magnitude, scale, p.e, rounded) ||
           RoundedFixed(p, static_cast<std::uint64_t>(scale), rounded) ||
           (ExactDistance(p, p.later) &&
            RoundedSmall(p.later ? p.toHigh : p.toLow, static_cast<i128>(scale), rounded));
  };
  return round(1e6, position.micros) && round(1e9, position.nanos) &&
         round(static_cast<double>(p.rate), position.samples);
}

bool GridIndex::IntoBeat(Probe& p, Position& position) const {
  const Place& place = p.place;
  const double length = p.beatEnd - p.beatStart;
  if (!(length > 8 * p.e)) return false;
  const double y = (p.t - p.beatStart) / length;
  const double errorY = 2 * p.e / (length - p.e) + 0x1p-52;
  const double z = y * 1e6;
  const double errorZ = 2 * (errorY * 1e6 + (z + 1) * 0x1p-50);
  const double into = std::floor(z - errorZ);
  if (p.onLow == 0 && place.beatStart == place.g) {
    position.intoBeat = 0;
    return true;
  }
  if (into == std::floor(z + errorZ) && into >= 0 && into <= 999999) {
    position.intoBeat = static_cast<std::uint32_t>(into);
    return true;
  }
  if (IntoBeatFixed(p, z, errorZ, position)) return true;
  Fraction first{0, 0}, next{0, 0}, done{0, 0}, whole{0, 0};
  return ExactTime(p) && FractionAt(place.beatStart, p.part, first) &&
         FractionAt(place.beatEnd, p.part, next) && Minus(p.exact, first, done) &&
         Minus(next, first, whole) && MillionthsSmall(done, whole, position.intoBeat);
}

// The millionths the doubles leave open: each candidate they allow is
// tried against the bounds.
bool GridIndex::IntoBeatFixed(Probe& p, double z, double errorZ, Position& position) const {
  FixedSpan first, next;
  if (!FixedTime(p) || !FixedAt(p.place.beatStart, p.part, first) ||
      !FixedAt(p.place.beatEnd, p.part, next)) {
    return false;
  }
  const FixedSpan done = p.fixed - first, whole = next - first;
  if (std::floor(z + errorZ) - std::floor(z - errorZ) > 2) return false;
  for (double q = std::max(0.0, std::floor(z - errorZ)); q <= std::floor(z + errorZ) && q <= 999999; ++q) {
    if (IsMillionths(done, whole, static_cast<std::uint32_t>(q))) {
      position.intoBeat = static_cast<std::uint32_t>(q);
      return true;
    }
  }
  return false;
}

bool GridIndex::LocateFast(std::string_view text, std::uint32_t rate, Position& position) const {
  Probe p{text, 0, rate};
  const char* end = text.data() + text.size();
  const auto [stop, problem] = std::from_chars(text.data(), end, p.t);
  if (problem != std::errc() || stop != end) return false;
  if (firsts_.empty()) {
    position.where = Position::Where::kAfter;
    return true;
  }
  const Step found = FindPart(p, position);
  if (found != Step::kOn) return found == Step::kDone;
  if (!FindDivision(p) || !BeatBounds(p) || !Nearest(p, position) || !IntoBeat(p, position)) {
    return false;
  }
  SetNearest(p.place, p.later, position);
  return true;
}

}  // namespace beatmarks
