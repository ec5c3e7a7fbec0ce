#pragma once

// Tempo events that keep the beats of a MIDI file where they belong. A MIDI
// reader places a tick at the sum, over the ticks before it, of the tempo in
// force (whole microseconds a quarter note) over the ticks a quarter note.
// A map's tempo rarely is a whole number of microseconds, and its rounding
// adds up beat after beat; the plan keeps every beat within a bound of where
// it belongs with the fewest events it can: the tempo in force stays while
// the next beat stays in bound, and where it would not, the map's tempo
// rounded the other way takes over on the beat before or on a quarter note
// inside it, whichever puts that beat nearest the far edge of the bound, so
// that the new tempo lasts as many beats as it can. DAWs keep a tempo change
// on a beat or a quarter note when they import a file, so an event between
// quarter notes would put every later beat off; one is placed there only
// when the bound is too fine for any other place (under half a microsecond
// for beats of a quarter note). Where the map changes tempo the run is
// planned from each rounding, and the one with fewer events kept (with as
// many, the one whose tempo lasts longer after it): where the first tempo
// ends decides where every later event can fall. Only beats are held to
// the bound; the ticks between them are free. A run is planned in 128-bit
// integers where they hold it exactly, else in BigInt, by the same steps.

#include <cstdint>
#include <functional>

#include "exact/big_int.h"
#include "exact/rational.h"

namespace beatmarks {

inline constexpr std::uint32_t kMaxMicrosPerQuarter = 0xFFFFFF;

// Beats of equal ticks and equal lengths from one beat. Times are in reader
// units, 1 / (ticks a quarter note x 10^6) s: a tick at u microseconds a
// quarter note lasts exactly u of them.
struct TempoRun {
  Rational start;           // where the first beat belongs
  Rational step;            // how long each beat should last, above 0
  std::uint32_t ticks = 0;  // ticks a beat, at least 1
  std::uint64_t count = 0;  // beats after the first, at least 1
  bool change = false;      // the map changes tempo at the first beat
};

class TempoPlan {
 public:
  // Called with each tempo event; returning false stops the plan.
  using Event = std::function<bool(std::uint64_t tick, std::uint32_t microsPerQuarter)>;

  // `bound` in reader units, above 1/2; `quarter` the ticks a quarter note,
  // counted from tick 0.
  TempoPlan(Rational bound, std::uint32_t quarter, Event event);

  // Plans the run from the tick reached so far. At a change the tempo is
  // chosen afresh on the first beat, else the tempo in force goes on while
  // it can. False when no tempo keeps a beat within the bound, or the event
  // said stop.
  bool Add(const TempoRun& run);

  std::uint64_t tick() const { return tick_; }
  std::uint64_t events() const { return events_; }
  // Events neither on a beat nor on a quarter note.
  std::uint64_t betweenQuarters() const { return betweenQuarters_; }
  // The farthest a beat was placed from where it belongs, in reader units.
  const Rational& largestDrift() const { return largest_; }

 private:
  template <class Int>
  friend class RunPlan;
  // One run, in 128-bit integers where they hold it exactly, else in BigInt.
  bool Emit(std::uint32_t micros, std::uint64_t tick, bool betweenQuarters);

  const Rational bound_;
  const std::uint32_t quarter_;
  const Event event_;
  unsigned __int128 time_ = 0;  // where the reader places the tick reached
  std::uint64_t tick_ = 0;
  std::uint32_t micros_ = 0;  // the tempo in force, 0 before the first
  std::uint64_t events_ = 0;
  std::uint64_t betweenQuarters_ = 0;
  Rational largest_;
};

}  // namespace beatmarks
