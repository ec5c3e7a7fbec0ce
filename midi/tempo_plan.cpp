#include "midi/tempo_plan.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

namespace beatmarks {
namespace {

using i128 = __int128;

// The arithmetic of a run, in BigInt or in 128-bit integers.
BigInt FloorDiv(const BigInt& a, const BigInt& b) { return BigInt::FloorDiv(a, b); }
i128 FloorDiv(i128 a, i128 b) { return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0); }
template <class Int>
Int CeilDiv(const Int& a, const Int& b) { return -FloorDiv(-a, b); }
BigInt Abs(const BigInt& a) { return a.Abs(); }
i128 Abs(i128 a) { return a < 0 ? -a : a; }
int Sign(const BigInt& a) { return a.Sign(); }
int Sign(i128 a) { return (a > 0) - (a < 0); }
BigInt Wide(i128 a) {
  const BigInt size = BigInt::FromUnsigned128(static_cast<unsigned __int128>(a < 0 ? -a : a));
  return a < 0 ? -size : size;
}
template <class Int>
Int Make(std::uint64_t value) {
  if constexpr (std::is_same_v<Int, BigInt>) return BigInt::FromUnsigned(value);
  else return static_cast<i128>(value);
}
// A value of at most 2^100 in 128 bits.
i128 Narrow(const BigInt& value) {
  const BigInt size = value.Abs(), high = size >> 62;
  std::int64_t h = 0, l = 0;
  high.ToInt64(h);
  (size - (high << 62)).ToInt64(l);
  const i128 result = (static_cast<i128>(h) << 62) + l;
  return value.Sign() < 0 ? -result : result;
}
// A count (at least 0), at most `most`.
std::uint64_t Capped(const BigInt& value, std::uint64_t most) {
  std::int64_t small = 0;
  return value.ToInt64(small) ? std::min(static_cast<std::uint64_t>(small), most) : most;
}
std::uint64_t Capped(i128 value, std::uint64_t most) {
  return value > static_cast<i128>(most) ? most : static_cast<std::uint64_t>(value);
}
// Where a tempo may take over inside a beat that starts `offset` ticks past
// a quarter note: on the beat (0 ticks in) or on a quarter note; any tick
// when `anywhere`.
struct TickGrid {
  std::uint64_t offset;
  std::uint32_t quarter;
  bool anywhere;

  std::uint64_t Base() const { return (quarter - offset) % quarter; }  // the first quarter note in
  // The first place at `x` ticks into the beat or after it.
  std::uint64_t After(std::uint64_t x) const {
    if (anywhere || x == 0) return x;
    const std::uint64_t base = Base();
    return x <= base ? base : base + (x - base + quarter - 1) / quarter * quarter;
  }
  // The last place at `x` ticks into the beat or before it.
  std::uint64_t Before(std::uint64_t x) const {
    if (anywhere) return x;
    const std::uint64_t base = Base();
    return x < base ? 0 : base + (x - base) / quarter * quarter;
  }
};

template <class Int>
std::uint32_t Tempo(const Int& micros) {
  if (micros < Make<Int>(1)) return 1;
  return static_cast<std::uint32_t>(Capped(micros, kMaxMicrosPerQuarter));
}

}  // namespace

// One run over a common denominator: the drift x_ / den_ of the beat
// reached, a beat's length, the drift's change a beat for each microsecond
// of tempo, and the bound.
template <class Int>
class RunPlan {
 public:
  // A dry plan only counts its events.
  RunPlan(TempoPlan& plan, std::uint32_t ticks, Int den, Int x, Int step, Int limit, bool dry)
      : plan_(plan), dry_(dry), ticks_(ticks), den_(std::move(den)), x_(std::move(x)),
        step_(std::move(step)), perMicro_(Make<Int>(ticks) * den_), limit_(std::move(limit)),
        farthest_(x_), micros_(plan.micros_), tick_(plan.tick_), time_(plan.time_) {
    const Int floor = FloorDiv(step_, perMicro_);
    low_ = Tempo(floor);
    high_ = floor * perMicro_ == step_ ? low_ : Tempo(floor + Make<Int>(1));
  }

  // The run planned, its first tempo the map's rounded up or down, or the
  // one that lasts the longer. Where the map changes tempo, both are tried:
  // the tempo chosen first decides where every later event can fall.
  static bool Plan(TempoPlan& plan, const TempoRun& run, const Int& den, const Int& x, const Int& step,
                   const Int& limit, Int& farthest);
  bool Run(std::uint64_t count, bool change, std::optional<bool> high);
  // Beats the tempo in force keeps in bound after the run.
  std::uint64_t Room() const {
    return Steps(Delta(micros_), x_, std::numeric_limits<std::uint64_t>::max());
  }
 private:
  // A tempo taking over inside the next beat: its ticks of the old tempo,
  // the drift it lands the beat at, and the beats it then keeps in bound.
  struct Landing {
    std::uint32_t micros = 0;
    std::uint64_t oldTicks = 0;
    Int drift{};
    std::uint64_t reach = 0;
  };

  Int Delta(std::uint32_t micros) const { return perMicro_ * Make<Int>(micros) - step_; }
  std::uint64_t Steps(const Int& delta, const Int& from, std::uint64_t left) const;
  bool Choose(std::uint64_t left, std::optional<bool> high);
  bool Emit(std::uint32_t micros, std::uint64_t tick, bool betweenQuarters) {
    micros_ = micros;
    ++events_;
    return dry_ || plan_.Emit(micros, tick, betweenQuarters);
  }
  bool Switch(std::uint64_t left);
  std::optional<Landing> Best(std::uint64_t left, bool anywhere) const;
  bool Land(std::uint32_t micros, std::uint32_t from, std::uint64_t left, bool anywhere,
            Landing& landing) const;
  bool Take(const Landing& landing, std::uint32_t from);
  void Advance(const Int& delta, std::uint64_t steps);
  void Note() {
    if (Abs(x_) > Abs(farthest_)) farthest_ = x_;
  }

  TempoPlan& plan_;
  const bool dry_;
  const std::uint32_t ticks_;
  const Int den_;
  Int x_;
  const Int step_, perMicro_, limit_;
  Int farthest_;  // the drift of the beat that lies farthest from its time
  std::uint32_t low_ = 0, high_ = 0;  // the map's tempo rounded down and up
  std::uint32_t micros_;  // the plan's state as the run goes, kept when not dry
  std::uint64_t tick_;
  unsigned __int128 time_;
  std::uint64_t events_ = 0;
};

template <class Int>
bool RunPlan<Int>::Plan(TempoPlan& plan, const TempoRun& run, const Int& den, const Int& x,
                        const Int& step, const Int& limit, Int& farthest) {
  std::optional<bool> high;
  if (run.change || plan.micros_ == 0) {
    RunPlan down(plan, run.ticks, den, x, step, limit, true);
    RunPlan up(plan, run.ticks, den, x, step, limit, true);
    const bool downOk = down.Run(run.count, true, false), upOk = up.Run(run.count, true, true);
    if (downOk != upOk) {
      high = upOk;
    } else if (downOk && down.events_ != up.events_) {
      high = up.events_ < down.events_;
    } else if (downOk && down.Room() != up.Room()) {
      high = up.Room() > down.Room();  // as many events: the one that goes on the longer after
    }
  }
  RunPlan planned(plan, run.ticks, den, x, step, limit, false);
  const bool ok = planned.Run(run.count, run.change, high);
  plan.tick_ = planned.tick_;
  plan.time_ = planned.time_;
  farthest = planned.farthest_;
  return ok;
}

template <class Int>
bool RunPlan<Int>::Run(std::uint64_t count, bool change, std::optional<bool> high) {
  if (Abs(x_) > limit_) return false;
  std::uint64_t left = count;
  if ((change || micros_ == 0) && !Choose(left, high)) return false;
  while (left > 0) {
    const Int delta = Delta(micros_);
    const std::uint64_t steps = Steps(delta, x_, left);
    Advance(delta, steps);
    left -= steps;
    if (left > 0 && !Switch(left--)) return false;
  }
  return true;
}

// Beats the tempo with this change of drift a beat keeps in bound from
// `from`, at most `left`.
template <class Int>
std::uint64_t RunPlan<Int>::Steps(const Int& delta, const Int& from, std::uint64_t left) const {
  if (Sign(delta) == 0) return left;
  const Int room = Sign(delta) > 0 ? limit_ - from : limit_ + from;
  if (Sign(room) < 0) return 0;
  return Capped(FloorDiv(room, Abs(delta)), left);
}

// On the beat reached: the map's tempo rounded down or up as asked, else
// whichever keeps the beats after it in bound the longer; on a tie the nearer.
template <class Int>
bool RunPlan<Int>::Choose(std::uint64_t left, std::optional<bool> high) {
  if (!high) {
    const std::uint64_t lowSteps = Steps(Delta(low_), x_, left);
    const std::uint64_t highSteps = Steps(Delta(high_), x_, left);
    high = highSteps > lowSteps || (highSteps == lowSteps && Abs(Delta(high_)) < Abs(Delta(low_)));
  }
  const std::uint32_t best = *high ? high_ : low_;
  return best == micros_ || Emit(best, tick_, false);
}

// The next beat would leave the bound: the other rounding takes over inside
// the beat, on the beat itself or on a quarter note, landing it where that
// tempo lasts the longest. Where no single change lands it, one on the beat
// and one inside it do. Only a bound too fine for those ticks takes a tick
// between quarter notes.
template <class Int>
bool RunPlan<Int>::Switch(std::uint64_t left) {
  for (const bool anywhere : {false, true}) {
    if (std::optional<Landing> best = Best(left, anywhere)) return Take(*best, micros_);
    const std::uint32_t first = micros_ == low_ ? high_ : low_;
    const std::uint32_t second = first == low_ ? high_ : low_;
    Landing landing;
    if (first == micros_ || second == first || !Land(second, first, left, anywhere, landing)) {
      continue;
    }
    return Emit(first, tick_, false) && Take(landing, first);
  }
  return false;
}

// Of the map's two roundings, the one that lands the next beat and then
// keeps the beats in bound the longest; on a tie the nearer.
template <class Int>
auto RunPlan<Int>::Best(std::uint64_t left, bool anywhere) const -> std::optional<Landing> {
  std::optional<Landing> best;
  for (const std::uint32_t micros : {low_, high_}) {
    Landing landing;
    if (micros == micros_ || (best && micros == best->micros) ||
        !Land(micros, micros_, left, anywhere, landing)) {
      continue;
    }
    if (!best || landing.reach > best->reach ||
        (landing.reach == best->reach && Abs(Delta(micros)) < Abs(Delta(best->micros)))) {
      best = std::move(landing);
    }
  }
  return best;
}

// The next beat with its first ticks at `from` and the rest at the landing's tempo.
template <class Int>
bool RunPlan<Int>::Take(const Landing& landing, std::uint32_t from) {
  const std::uint64_t at = tick_ + landing.oldTicks;
  if (!Emit(landing.micros, at, landing.oldTicks != 0 && at % plan_.quarter_ != 0)) {
    return false;
  }
  time_ += static_cast<unsigned __int128>(landing.oldTicks) * from +
           static_cast<unsigned __int128>(ticks_ - landing.oldTicks) * landing.micros;
  tick_ += ticks_;
  x_ = landing.drift;
  Note();
  return true;
}

// The tempo `micros` after ticks of `from` inside the next beat: false when
// none lands that beat within the bound. It lands at the edge its drift
// moves away from, as near it as the beat or a quarter note inside it allows
// (any tick, when `anywhere`).
template <class Int>
bool RunPlan<Int>::Land(std::uint32_t micros, std::uint32_t from, std::uint64_t left, bool anywhere,
                        Landing& landing) const {
  const Int delta = Delta(micros);
  const Int all = x_ + delta;  // the beat with every tick at the new tempo
  const Int perOld = (Make<Int>(from) - Make<Int>(micros)) * den_;  // a tick of the old instead
  if (Sign(perOld) == 0) return false;
  const bool rising = Sign(perOld) > 0;
  const Int lo = std::max(CeilDiv((rising ? -limit_ : limit_) - all, perOld), Make<Int>(0));
  const Int hi = std::min(FloorDiv((rising ? limit_ : -limit_) - all, perOld), Make<Int>(ticks_ - 1));
  if (lo > hi) return false;
  const TickGrid grid{tick_ % plan_.quarter_, plan_.quarter_, anywhere};
  const std::uint64_t first = grid.After(Capped(lo, ticks_)), last = grid.Before(Capped(hi, ticks_));
  if (first > last || first >= ticks_) return false;
  std::uint64_t old = 0;
  if (Sign(delta) == 0) {
    // The tempo is the map's: land as near the beat's time as the ticks allow.
    const std::uint64_t nearest = std::clamp(Capped(FloorDiv(-all, perOld), ticks_), first, last);
    const std::uint64_t below = std::max(grid.Before(nearest), first);
    const std::uint64_t above = std::min(grid.After(nearest + 1), last);
    old = Abs(all + Make<Int>(above) * perOld) < Abs(all + Make<Int>(below) * perOld) ? above : below;
  } else {
    old = (Sign(delta) > 0) == rising ? first : last;  // the lowest drift when it rises, else the highest
  }
  landing.micros = micros;
  landing.oldTicks = old;
  landing.drift = all + Make<Int>(old) * perOld;
  landing.reach = Steps(delta, landing.drift, left - 1);
  return true;
}

template <class Int>
void RunPlan<Int>::Advance(const Int& delta, std::uint64_t steps) {
  if (steps == 0) return;
  x_ += delta * Make<Int>(steps);
  time_ += static_cast<unsigned __int128>(steps) * ticks_ * micros_;
  tick_ += steps * ticks_;
  Note();
}

TempoPlan::TempoPlan(Rational bound, std::uint32_t quarter, Event event)
    : bound_(std::move(bound)), quarter_(std::max<std::uint32_t>(quarter, 1)), event_(std::move(event)) {}

// Every choice compares the drift with multiples of 1/q, q the least common
// multiple of the step's and the bound's denominators, or with multiples of
// 1/(2q): a drift between two of these decides as the point halfway between
// them does, which stands in for it over 4q however long its own
// denominator is. The farthest drift is made exact again at the end.
bool TempoPlan::Add(const TempoRun& run) {
  const Rational drift = Rational::FromFraction(time_, 1) - run.start;
  const BigInt& stepDen = run.step.denominator();
  const BigInt q = BigInt::FloorDiv(stepDen, BigInt::Gcd(stepDen, bound_.denominator())) *
                   bound_.denominator();
  const BigInt scaled = drift.numerator() * q * BigInt(2);
  const BigInt whole = BigInt::FloorDiv(scaled, drift.denominator());
  const BigInt x = whole * BigInt(2) + BigInt(whole * drift.denominator() == scaled ? 0 : 1);
  const BigInt den = q * BigInt(4);
  const BigInt step = run.step.numerator() * BigInt::FloorDiv(den, stepDen);
  const BigInt limit = bound_.numerator() * BigInt::FloorDiv(den, bound_.denominator());
  const BigInt most = BigInt::PowerOfTwo(96);
  BigInt farthest;
  bool ok = false;
  if (den < BigInt::PowerOfTwo(40) && x.Abs() < most && step < most && limit < most) {
    i128 far = 0;
    ok = RunPlan<i128>::Plan(*this, run, Narrow(den), Narrow(x), Narrow(step), Narrow(limit), far);
    farthest = Wide(far);
  } else {
    ok = RunPlan<BigInt>::Plan(*this, run, den, x, step, limit, farthest);
  }
  const Rational exact = Rational(farthest, den) + (drift - Rational(x, den));
  largest_ = std::max({largest_, exact, -exact});
  return ok;
}

bool TempoPlan::Emit(std::uint32_t micros, std::uint64_t tick, bool betweenQuarters) {
  micros_ = micros;
  ++events_;
  if (betweenQuarters) ++betweenQuarters_;
  return event_(tick, micros);
}

}  // namespace beatmarks
