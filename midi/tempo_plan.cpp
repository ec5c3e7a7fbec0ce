#include "midi/tempo_plan.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace beatmarks {
namespace {

BigInt Quotient(const BigInt& a, const BigInt& b) {
  BigInt q, r;
  BigInt::DivMod(a, b, q, r);
  return q;
}

BigInt CeilDiv(const BigInt& a, const BigInt& b) { return -BigInt::FloorDiv(-a, b); }

// value x den, den a multiple of the value's denominator.
BigInt Scaled(const Rational& value, const BigInt& den) {
  return value.numerator() * Quotient(den, value.denominator());
}

std::uint32_t Tempo(const BigInt& micros) {
  std::int64_t value = 0;
  if (!micros.ToInt64(value) || value > std::int64_t{kMaxMicrosPerQuarter}) return kMaxMicrosPerQuarter;
  return static_cast<std::uint32_t>(std::max<std::int64_t>(value, 1));
}

}  // namespace

TempoPlan::TempoPlan(Rational bound, Event event)
    : bound_(std::move(bound)), event_(std::move(event)) {}

bool TempoPlan::Add(const TempoRun& run) {
  Start(run);
  Note();
  if (x_.Abs() > limit_) return false;
  std::uint64_t left = run.count;
  if ((run.change || micros_ == 0) && !Choose(left)) return false;
  while (left > 0) {
    const BigInt delta = Delta(micros_);
    const std::uint64_t steps = Steps(delta, x_, left);
    Advance(delta, steps);
    left -= steps;
    if (left > 0 && !Switch(left--)) return false;
  }
  return true;
}

// The run over one denominator, and the map's tempo rounded both ways.
void TempoPlan::Start(const TempoRun& run) {
  const Rational drift = Rational::FromFraction(time_, 1) - run.start;
  den_ = Quotient(drift.denominator(), BigInt::Gcd(drift.denominator(), run.step.denominator())) *
         run.step.denominator();
  x_ = Scaled(drift, den_);
  step_ = Scaled(run.step, den_);
  ticks_ = run.ticks;
  perMicro_ = BigInt(run.ticks) * den_;
  limit_ = BigInt::FloorDiv(bound_.numerator() * den_, bound_.denominator());
  const BigInt floor = BigInt::FloorDiv(step_, perMicro_);
  low_ = Tempo(floor);
  high_ = floor * perMicro_ == step_ ? low_ : Tempo(floor + BigInt(1));
}

// Beats the tempo with this change of drift a beat keeps in bound from
// `from`, at most `left`.
std::uint64_t TempoPlan::Steps(const BigInt& delta, const BigInt& from, std::uint64_t left) const {
  if (delta.IsZero()) return left;
  const BigInt room = delta.Sign() > 0 ? limit_ - from : limit_ + from;
  const BigInt steps = BigInt::FloorDiv(room, delta.Abs());
  if (steps.Sign() < 0) return 0;
  std::int64_t small = 0;
  if (!steps.ToInt64(small)) return left;
  return std::min(static_cast<std::uint64_t>(small), left);
}

// On the beat reached: the map's tempo rounded down or up, whichever keeps
// the beats after it in bound the longer; on a tie the nearer.
bool TempoPlan::Choose(std::uint64_t left) {
  std::uint32_t best = low_;
  const std::uint64_t lowSteps = Steps(Delta(low_), x_, left);
  const std::uint64_t highSteps = Steps(Delta(high_), x_, left);
  if (highSteps > lowSteps || (highSteps == lowSteps && Delta(high_).Abs() < Delta(low_).Abs())) {
    best = high_;
  }
  return best == micros_ || Emit(best, tick_);
}

// The next beat would leave the bound: the other rounding takes over inside
// the beat, landing it where that tempo lasts the longest. Where no single
// change lands it, one on the beat and one inside it do.
bool TempoPlan::Switch(std::uint64_t left) {
  std::optional<Landing> best;
  for (const std::uint32_t micros : {low_, high_}) {
    Landing landing;
    if (micros == micros_ || (best && micros == best->micros) || !Land(micros, left, landing)) continue;
    if (!best || landing.reach > best->reach ||
        (landing.reach == best->reach && Delta(micros).Abs() < Delta(best->micros).Abs())) {
      best = std::move(landing);
    }
  }
  if (!best) {
    const std::uint32_t first = micros_ == low_ ? high_ : low_;
    if (first == micros_ || !Emit(first, tick_)) return false;
    const BigInt delta = Delta(first);
    if (Steps(delta, x_, 1) == 1) {
      Advance(delta, 1);
      return true;
    }
    const std::uint32_t second = first == low_ ? high_ : low_;
    Landing landing;
    if (second == first || !Land(second, left, landing)) return false;
    best = std::move(landing);
  }
  const std::uint32_t old = micros_;
  if (!Emit(best->micros, tick_ + best->oldTicks)) return false;
  time_ += static_cast<unsigned __int128>(best->oldTicks) * old +
           static_cast<unsigned __int128>(ticks_ - best->oldTicks) * best->micros;
  tick_ += ticks_;
  x_ = std::move(best->drift);
  Note();
  return true;
}

// The tempo `micros` from a tick inside the next beat: false when none lands
// that beat within the bound. It lands at the edge its drift moves away from.
bool TempoPlan::Land(std::uint32_t micros, std::uint64_t left, Landing& landing) const {
  const BigInt delta = Delta(micros);
  const BigInt all = x_ + delta;  // the beat with every tick at the new tempo
  const BigInt perOld = (BigInt(micros_) - BigInt(micros)) * den_;  // each tick of the old instead
  const bool rising = perOld.Sign() > 0;
  BigInt lo = CeilDiv((rising ? -limit_ : limit_) - all, perOld);
  BigInt hi = BigInt::FloorDiv((rising ? limit_ : -limit_) - all, perOld);
  lo = std::max(lo, BigInt(0));
  hi = std::min(hi, BigInt(ticks_) - BigInt(1));
  if (lo > hi) return false;
  BigInt old;
  if (delta.IsZero()) {
    // The tempo is the map's: land as near the beat's time as the ticks allow.
    const BigInt nearest = std::clamp(BigInt::FloorDiv(-all, perOld), lo, hi);
    const BigInt next = std::min(nearest + BigInt(1), hi);
    old = (all + next * perOld).Abs() < (all + nearest * perOld).Abs() ? next : nearest;
  } else {
    old = (delta.Sign() > 0) == rising ? lo : hi;  // the lowest drift when it rises, else the highest
  }
  std::int64_t ticks = 0;
  old.ToInt64(ticks);
  landing.micros = micros;
  landing.oldTicks = static_cast<std::uint64_t>(ticks);
  landing.drift = all + old * perOld;
  landing.reach = Steps(delta, landing.drift, left - 1);
  return true;
}

bool TempoPlan::Emit(std::uint32_t micros, std::uint64_t tick) {
  micros_ = micros;
  ++events_;
  return event_(tick, micros);
}

void TempoPlan::Advance(const BigInt& delta, std::uint64_t steps) {
  if (steps == 0) return;
  x_ += delta * BigInt::FromUnsigned(steps);
  time_ += static_cast<unsigned __int128>(steps) * ticks_ * micros_;
  tick_ += steps * ticks_;
  Note();
}

void TempoPlan::Note() {
  const BigInt size = x_.Abs();
  if (size * largest_.denominator() > largest_.numerator() * den_) {
    largest_ = Rational(size, den_);
  }
}

}  // namespace beatmarks
