#pragma once

// Tempo events that keep the beats of a MIDI file where they belong. A MIDI
// reader places a tick at the sum, over the ticks before it, of the tempo in
// force (whole microseconds a quarter note) over the ticks a quarter note.
// A map's tempo rarely is a whole number of microseconds, and its rounding
// adds up beat after beat; the plan keeps every point within a bound of
// where it belongs with few events: the tempo in force stays while the next
// point stays in bound, and where it would not, the plan writes the map's
// tempo rounded down or up, whichever keeps the points in bound the longer.

#include <cstdint>
#include <functional>

#include "exact/big_int.h"
#include "exact/rational.h"

namespace beatmarks {

inline constexpr std::uint32_t kMaxMicrosPerQuarter = 0xFFFFFF;

// Steps of equal ticks and equal lengths from one point. Times are in reader
// units, 1 / (ticks a quarter note x 10^6) s: a tick at u microseconds a
// quarter note lasts exactly u of them.
struct TempoRun {
  Rational start;           // where the first point belongs
  Rational step;            // how long each step should last, above 0
  std::uint32_t ticks = 0;  // ticks a step, at least 1
  std::uint64_t count = 0;  // steps, at least 1
  bool change = false;      // the map changes tempo at the first point
};

class TempoPlan {
 public:
  // Called with each tempo event; returning false stops the plan.
  using Event = std::function<bool(std::uint64_t tick, std::uint32_t microsPerQuarter)>;

  // `bound` in reader units, above 0.
  TempoPlan(Rational bound, Event event);

  // Plans the run from the tick reached so far. At a change the tempo is
  // chosen afresh, else the tempo in force goes on while it can. False when
  // no tempo keeps the next point within the bound, or the event said stop.
  bool Add(const TempoRun& run);

  std::uint64_t tick() const { return tick_; }
  std::uint64_t events() const { return events_; }
  // The farthest a point was placed from where it belongs, in reader units.
  const Rational& largestDrift() const { return largest_; }

 private:
  bool Choose(std::uint64_t left);
  std::uint64_t Steps(const BigInt& delta, std::uint64_t left) const;
  void Advance(const BigInt& delta, std::uint64_t steps, std::uint32_t ticks);
  void Note();

  const Rational bound_;
  const Event event_;
  unsigned __int128 time_ = 0;  // where the reader places the tick reached
  std::uint64_t tick_ = 0;
  std::uint32_t micros_ = 0;  // the tempo in force, 0 before the first
  std::uint64_t events_ = 0;
  Rational largest_;
  // The run under way, over a common denominator: the drift x_ / den_ of the
  // point reached, the step's length, the drift's change a step for each
  // microsecond of tempo, and the bound.
  BigInt den_, x_, step_, perMicro_, limit_;
};

}  // namespace beatmarks
