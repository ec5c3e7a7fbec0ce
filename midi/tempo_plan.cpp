#include "midi/tempo_plan.h"

#include <algorithm>
#include <utility>

namespace beatmarks {
namespace {

BigInt Quotient(const BigInt& a, const BigInt& b) {
  BigInt q, r;
  BigInt::DivMod(a, b, q, r);
  return q;
}

// value x den, den a multiple of the value's denominator.
BigInt Scaled(const Rational& value, const BigInt& den) {
  return value.numerator() * Quotient(den, value.denominator());
}

}  // namespace

TempoPlan::TempoPlan(Rational bound, Event event)
    : bound_(std::move(bound)), event_(std::move(event)) {}

bool TempoPlan::Add(const TempoRun& run) {
  const Rational drift = Rational::FromFraction(time_, 1) - run.start;
  den_ = Quotient(drift.denominator(), BigInt::Gcd(drift.denominator(), run.step.denominator())) *
         run.step.denominator();
  x_ = Scaled(drift, den_);
  step_ = Scaled(run.step, den_);
  perMicro_ = BigInt(run.ticks) * den_;
  limit_ = BigInt::FloorDiv(bound_.numerator() * den_, bound_.denominator());
  Note();
  if (x_.Abs() > limit_) return false;
  std::uint64_t left = run.count;
  if ((run.change || micros_ == 0) && !Choose(left)) return false;
  while (left > 0) {
    const BigInt delta = perMicro_ * BigInt(micros_) - step_;
    const std::uint64_t steps = Steps(delta, left);
    Advance(delta, steps, run.ticks);
    left -= steps;
    if (left > 0 && !Choose(left)) return false;
  }
  return true;
}

// Steps the tempo with this change of drift a step keeps in bound, at most `left`.
std::uint64_t TempoPlan::Steps(const BigInt& delta, std::uint64_t left) const {
  if (delta.IsZero()) return left;
  const BigInt room = delta.Sign() > 0 ? limit_ - x_ : limit_ + x_;
  const BigInt steps = BigInt::FloorDiv(room, delta.Abs());
  if (steps.Sign() < 0) return 0;
  std::int64_t small = 0;
  if (!steps.ToInt64(small)) return left;
  return std::min(static_cast<std::uint64_t>(small), left);
}

// The map's tempo rounded down or up (within what a tempo event holds),
// whichever keeps the next points in bound the longer; on a tie the nearer.
bool TempoPlan::Choose(std::uint64_t left) {
  const BigInt floor = BigInt::FloorDiv(step_, perMicro_);
  const bool whole = floor * perMicro_ == step_;
  std::int64_t low = 0;
  if (!floor.ToInt64(low) || low > static_cast<std::int64_t>(kMaxMicrosPerQuarter)) {
    low = kMaxMicrosPerQuarter;
  }
  std::uint32_t best = 0;
  std::uint64_t bestSteps = 0;
  BigInt bestDelta;
  for (std::int64_t u = low; u <= low + (whole ? 0 : 1); ++u) {
    if (u < 1 || u > static_cast<std::int64_t>(kMaxMicrosPerQuarter)) continue;
    const BigInt delta = perMicro_ * BigInt(u) - step_;
    const std::uint64_t steps = Steps(delta, left);
    if (steps > bestSteps || (steps == bestSteps && steps > 0 && delta.Abs() < bestDelta.Abs())) {
      best = static_cast<std::uint32_t>(u);
      bestSteps = steps;
      bestDelta = delta;
    }
  }
  if (bestSteps == 0) return false;
  if (best == micros_) return true;
  micros_ = best;
  ++events_;
  return event_(tick_, micros_);
}

void TempoPlan::Advance(const BigInt& delta, std::uint64_t steps, std::uint32_t ticks) {
  if (steps == 0) return;
  x_ += delta * BigInt::FromUnsigned(steps);
  time_ += static_cast<unsigned __int128>(steps) * ticks * micros_;
  tick_ += steps * ticks;
  Note();
}

void TempoPlan::Note() {
  const BigInt size = x_.Abs();
  if (size * largest_.denominator() > largest_.numerator() * den_) {
    largest_ = Rational(size, den_);
  }
}

}  // namespace beatmarks
