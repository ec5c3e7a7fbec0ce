#include "midi/midi_timeline.h"

#include <algorithm>
#include <numeric>

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

Rational FromExact(const ExactTime& t) { return Rational::FromFraction(t.num, t.den); }

// a / b, and a % b, in 64 bits where they fit: far quicker than in 128.
u128 Quotient(u128 a, u128 b) {
  if ((a | b) >> 64 == 0) return static_cast<std::uint64_t>(a) / static_cast<std::uint64_t>(b);
  return a / b;
}
u128 Remainder(u128 a, u128 b) {
  if ((a | b) >> 64 == 0) return static_cast<std::uint64_t>(a) % static_cast<std::uint64_t>(b);
  return a % b;
}

// Ceiling of a / b for positive fractions a = an/ad, b = bn/bd.
u128 CeilRatio(u128 an, u128 ad, u128 bn, u128 bd) {
  const u128 top = an * bd, bottom = ad * bn;
  return Quotient(top, bottom) + (Remainder(top, bottom) != 0 ? 1 : 0);
}

}  // namespace

MidiTimeline::MidiTimeline(const MidiGrid& grid, std::int32_t divisions, Rational offset)
    : grid_(grid), divisions_(divisions), offset_(std::make_shared<const Rational>(std::move(offset))) {
  if (!grid_.runs.empty()) EnterRun();
}

TickFraction MidiTimeline::RunEnd() const {
  if (run_ + 1 < grid_.runs.size()) return {grid_.runs[run_ + 1].startTick, 1};
  return grid_.endTick;
}

// Divisions of the run that begin before the tick: ceil((tick - start) / division).
DivisionCount MidiTimeline::DivisionsBefore(const TickFraction& tick) const {
  const u128 start = grid_.runs[run_].startTick;
  if (tick.num <= start * tick.den) return 0;
  return CeilRatio(tick.num - start * tick.den, tick.den, divTicks_.num, divTicks_.den);
}

void MidiTimeline::EnterRun() {
  const MeterRun& r = grid_.runs[run_];
  divTicks_ = {r.beatTicks.num, r.beatTicks.den * static_cast<std::uint64_t>(divisions_)};
  runDivisions_ = DivisionsBefore(RunEnd());
  next_ = 0;
  begin_ = r.startTick;
  while (tempo_ + 1 < grid_.tempos.size() && grid_.tempos[tempo_ + 1].tick <= r.startTick) {
    ++tempo_;
  }
  // The beat's ticks over a whole note's, 4 x ticksPerQuarter; both below 2^26.
  const auto beat = static_cast<std::uint64_t>(r.beatTicks.num);
  const std::uint64_t whole = r.beatTicks.den * 4 * static_cast<std::uint64_t>(grid_.ticksPerQuarter);
  const std::uint64_t common = std::gcd(beat, whole);
  beatNote_ = {static_cast<std::int32_t>(beat / common), static_cast<std::int32_t>(whole / common)};
}

// The tempo in force where the stretch begins: in beats and in quarter notes
// a minute, and the beat's note value.
void MidiTimeline::SetTempo(Stretch& s) const {
  const MeterRun& r = grid_.runs[run_];
  const std::uint32_t micros = grid_.tempos[tempo_].microsPerQuarter;
  // Beats a minute: quarters a minute scaled by the quarter's length in beats.
  s.tempo = static_cast<float>(60e6 / micros * grid_.ticksPerQuarter *
                               static_cast<double>(r.beatTicks.den) /
                               static_cast<double>(r.beatTicks.num));
  s.quarterTempo = 60e6 / micros;
  s.beatNoteNumerator = beatNote_.first;
  s.beatNoteDenominator = beatNote_.second;
}

// The first change after the stretch that begins at begin_: the next tempo
// or marker, if it comes before the run ends.
std::optional<std::uint64_t> MidiTimeline::ChangeInRun(const TickFraction& end) const {
  std::uint64_t change = UINT64_MAX;
  if (tempo_ + 1 < grid_.tempos.size()) change = grid_.tempos[tempo_ + 1].tick;
  if (marker_ < grid_.markers.size()) change = std::min(change, grid_.markers[marker_].tick);
  if (change == UINT64_MAX || u128(change) * end.den >= end.num) return std::nullopt;
  return change;
}

// Markers up to where the stretch begins name it from there on.
void MidiTimeline::TakeMarkers() {
  while (marker_ < grid_.markers.size() && grid_.markers[marker_].tick <= begin_) {
    name_ = &grid_.markers[marker_++].text;
  }
}

bool MidiTimeline::Next(Stretch& s) {
  if (run_ >= grid_.runs.size()) return false;
  const std::string* before = name_;
  TakeMarkers();
  const MeterRun& r = grid_.runs[run_];
  // The stretch ends at the next tempo change or marker, or at the run's end.
  const std::optional<std::uint64_t> change = ChangeInRun(RunEnd());
  const DivisionCount stop =
      change ? std::min(runDivisions_, DivisionsBefore({*change, 1})) : runDivisions_;
  const DivisionCount perMeasure = DivisionCount(r.beatsPerMeasure) * divisions_;
  SetTempo(s);
  s.source = StretchSource::kMidi;
  s.name = name_;
  s.beatsPerMeasure = static_cast<std::int32_t>(r.beatsPerMeasure);
  s.meterNumerator = r.meter.numerator;
  s.meterDenominator = 1 << r.meter.denominatorPower;
  // Below perMeasure, which is below 2^64.
  const auto inMeasure = static_cast<std::uint64_t>(Remainder(next_, perMeasure));
  s.firstMeasure = std::int64_t(r.firstMeasure) - 1 + std::int64_t(Quotient(next_, perMeasure));
  s.firstBeat = static_cast<std::int32_t>(inMeasure / static_cast<std::uint64_t>(divisions_));
  s.firstDivision = static_cast<std::int32_t>(inMeasure % static_cast<std::uint64_t>(divisions_));
  s.divisions = stop - next_;
  s.startsSection = inMeasure == 0 || name_ != before;
  s.number = s.divisions > 0 ? ++number_ : 0;
  // Measures that begin in it: multiples of perMeasure in [next_, stop).
  s.measures = std::int64_t(Quotient(stop + perMeasure - 1, perMeasure) -
                            Quotient(next_ + perMeasure - 1, perMeasure));
  s.time.reset();
  s.changeTime.reset();
  lastFirst_ = next_;
  lastRun_ = run_;
  lastChange_ = begin_;
  lastTempo_ = tempo_;
  next_ = stop;
  if (change) {
    begin_ = *change;
    while (tempo_ + 1 < grid_.tempos.size() && grid_.tempos[tempo_ + 1].tick <= begin_) ++tempo_;
  } else if (++run_ < grid_.runs.size()) {
    EnterRun();
  }
  return true;
}

// start + offset as a fraction of machine integers, where it fits (the
// offset is a short decimal): then the times need no big integer.
bool MidiTimeline::OffsetFraction(const ExactTime& start, ExactTime& sum) const {
  if (offset_->Sign() == 0) {
    sum = start;
    return true;
  }
  u128 p = 0, q = 0, a = 0, b = 0;
  return offset_->numerator().ToUnsigned128(p) && offset_->denominator().ToUnsigned128(q) &&
         !__builtin_mul_overflow(start.num, q, &a) && !__builtin_mul_overflow(p, start.den, &b) &&
         !__builtin_add_overflow(a, b, &sum.num) && !__builtin_mul_overflow(start.den, q, &sum.den);
}

TickFraction MidiTimeline::LastFirstTick() const {
  const MeterRun& r = grid_.runs[lastRun_];
  const std::uint64_t den = r.beatTicks.den * static_cast<std::uint64_t>(divisions_);
  return {u128(r.startTick) * den + lastFirst_ * r.beatTicks.num, den};
}

// Where start and offset make a fraction exact in doubles, one division
// rounds it correctly.
std::optional<double> MidiTimeline::FirstNearest() const {
  constexpr u128 kExact = u128{1} << 53;
  const TickFraction first = LastFirstTick();
  ExactTime start{};
  if (!OffsetFraction(TimeAt(grid_, first, SegmentAt(grid_, first, lastTempo_)), start) ||
      start.num >= kExact || start.den >= kExact) {
    return std::nullopt;
  }
  // Both below 2^53: exact as doubles, through 64 bits (quicker).
  return static_cast<double>(static_cast<std::uint64_t>(start.num)) /
         static_cast<double>(static_cast<std::uint64_t>(start.den));
}

void MidiTimeline::AddTimes(Stretch& s) {
  if (s.time) return;
  const MeterRun& r = grid_.runs[lastRun_];
  const TickFraction divTicks{r.beatTicks.num, r.beatTicks.den * static_cast<std::uint64_t>(divisions_)};
  const TickFraction first = LastFirstTick();
  const std::size_t segment = SegmentAt(grid_, first, lastTempo_);
  const ExactTime start = TimeAt(grid_, first, segment);
  const std::uint32_t micros = grid_.tempos[segment].microsPerQuarter;
  const u128 stepNum = divTicks.num * micros, stepDen = u128(divTicks.den) * grid_.ticksPerQuarter * 1000000;
  ExactTime base = start;
  if (OffsetFraction(start, base)) {
    s.time.emplace(LinearTime::FromFractions(base.num, base.den, stepNum, stepDen));
  } else {
    s.time.emplace(*offset_ + FromExact(start), Rational::FromFraction(stepNum, stepDen));
  }
  // A change on the first division takes effect there: Start() needs no more.
  if (first.num == u128(lastChange_) * first.den) return;
  const ExactTime change = TimeAt(grid_, {lastChange_, 1});
  s.changeTime = offset_->Sign() == 0 ? FromExact(change) : *offset_ + FromExact(change);
}

}  // namespace beatmarks
