#include "midi/midi_grid.h"

#include <algorithm>
#include <numeric>

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

// A small exact length in ticks, reduced.
struct Length {
  std::uint64_t num;
  std::uint64_t den;
};

Length Reduced(std::uint64_t num, std::uint64_t den) {
  std::uint64_t g = std::gcd(num, den);
  return g == 0 ? Length{0, 1} : Length{num / g, den / g};
}

Length MeasureTicks(const MidiMeter& m, int ticksPerQuarter) {
  return Reduced(std::uint64_t(m.numerator) * 4 * ticksPerQuarter,
                 std::uint64_t{1} << m.denominatorPower);
}

Length BeatTicks(const MidiMeter& m, BeatUnit unit, int ticksPerQuarter) {
  switch (unit) {
    case BeatUnit::kQuarter:
      return {std::uint64_t(ticksPerQuarter), 1};
    case BeatUnit::kClick:
      return Reduced(std::uint64_t(ticksPerQuarter) * m.clocksPerClick, 24);
    case BeatUnit::kDenominator:
      break;
  }
  return Reduced(std::uint64_t(ticksPerQuarter) * 4, std::uint64_t{1} << m.denominatorPower);
}

u128 CeilDiv(u128 a, u128 b) { return a / b + (a % b != 0); }

std::string MeterName(const MidiMeter& m) {
  return std::to_string(m.numerator) + "/" + std::to_string(1 << m.denominatorPower);
}

std::string UnitName(const MidiMeter& m, BeatUnit unit) {
  switch (unit) {
    case BeatUnit::kQuarter:
      return "quarter-note beats";
    case BeatUnit::kClick:
      return "clicks of " + std::to_string(m.clocksPerClick) + " MIDI clocks";
    case BeatUnit::kDenominator:
      break;
  }
  return "beats";
}

// Lays out the measures of each time signature in turn, up to the bar line at
// or after the latest end of track.
class GridBuilder {
 public:
  GridBuilder(const MidiMap& map, BeatUnit unit, MidiGrid& grid)
      : map_(map), unit_(unit), grid_(grid) {}

  // An error line, or empty when the runs are laid out.
  std::string LayOutRuns() {
    grid_.endTick = {0, 1};
    for (std::size_t i = 0; i < map_.meters.size(); ++i) {
      const MidiMeter& meter = map_.meters[i];
      if (map_.endTick <= meter.tick) {
        grid_.endTick = {meter.tick, 1};
        break;
      }
      bool last = i + 1 == map_.meters.size();
      std::string error = AddRun(meter, last ? map_.endTick : map_.meters[i + 1].tick, last);
      if (!error.empty() || ended_) return error;
    }
    return "";
  }

 private:
  std::string Refuse(const MidiMeter& meter, const std::string& what) {
    return "measure " + std::to_string(grid_.measureCount + 1) + ": " + MeterName(meter) +
           " " + what;
  }

  // The run of `meter` up to the next change at `limit`. The measure in which
  // the end of track falls is listed whole, unless a change cuts it first:
  // then the map ends at the change.
  std::string AddRun(const MidiMeter& meter, std::uint64_t limit, bool last) {
    Length measure = MeasureTicks(meter, map_.ticksPerQuarter);
    Length beat = BeatTicks(meter, unit_, map_.ticksPerQuarter);
    if (beat.num == 0) return Refuse(meter, "has a click of 0 MIDI clocks");
    u128 beats = u128(measure.num) * beat.den;
    u128 per = u128(measure.den) * beat.num;
    if (beats % per != 0) {
      return Refuse(meter, "is not a whole number of " + UnitName(meter, unit_));
    }
    MeterRun run{grid_.measureCount + 1, meter.tick, meter, std::uint32_t(beats / per),
                 {beat.num, beat.den}, 0, 0};
    // Spans in ticks over measure.den.
    u128 toEnd = u128(map_.endTick - meter.tick) * measure.den;
    u128 covering = CeilDiv(toEnd, measure.num);
    u128 toLimit = u128(limit - meter.tick) * measure.den;
    u128 whole = covering;
    bool ends = last || toLimit >= covering * measure.num;
    if (!ends) {
      whole = toLimit / measure.num;
      u128 rest = toLimit - whole * measure.num;  // over measure.den
      run.cutBeats = std::uint32_t(CeilDiv(rest * beat.den, u128(measure.den) * beat.num));
    }
    if (whole + (run.cutBeats != 0) > kMaxGridMeasures - grid_.measureCount) {
      return "more than " + std::to_string(kMaxGridMeasures) + " measures";
    }
    run.wholeMeasures = std::uint32_t(whole);
    grid_.measureCount += run.wholeMeasures + (run.cutBeats != 0);
    grid_.runs.push_back(run);
    if (ends) {
      grid_.endTick = {u128(meter.tick) * measure.den + whole * measure.num, measure.den};
      ended_ = true;
    }
    return "";
  }

  const MidiMap& map_;
  BeatUnit unit_;
  MidiGrid& grid_;
  bool ended_ = false;
};

// Each tempo's start time over ticksPerQuarter x 1,000,000: the sum of
// ticks x microseconds of the tempos before it, below 2^64 x 2^24. A tempo
// event that repeats the tempo in force changes nothing and starts no segment.
std::vector<TempoSegment> TempoSegments(const std::vector<MidiTempo>& tempos) {
  std::vector<TempoSegment> segments;
  segments.reserve(tempos.size());
  u128 time = 0;
  for (std::size_t i = 0; i < tempos.size(); ++i) {
    if (i > 0) time += u128(tempos[i].tick - tempos[i - 1].tick) * tempos[i - 1].microsPerQuarter;
    if (!segments.empty() && segments.back().microsPerQuarter == tempos[i].microsPerQuarter) {
      continue;
    }
    segments.emplace_back(tempos[i].tick, tempos[i].microsPerQuarter, time);
  }
  return segments;
}

// The markers before the end, the last of those at one tick.
std::vector<MidiMarker> SectionMarkers(const std::vector<MidiMarker>& markers, const TickFraction& end) {
  std::vector<MidiMarker> kept;
  for (const MidiMarker& m : markers) {
    if (u128(m.tick) * end.den >= end.num) break;
    if (!kept.empty() && kept.back().tick == m.tick) kept.pop_back();
    kept.push_back(m);
  }
  return kept;
}

}  // namespace

std::optional<BeatUnit> ParseBeatUnit(std::string_view word) {
  if (word == "denominator") return BeatUnit::kDenominator;
  if (word == "quarter") return BeatUnit::kQuarter;
  if (word == "click") return BeatUnit::kClick;
  return std::nullopt;
}

std::optional<MidiGrid> BuildGrid(const MidiMap& map, BeatUnit unit, std::string& error) {
  if (map.tempos.empty() || map.tempos[0].tick != 0 || map.meters.empty() ||
      map.meters[0].tick != 0) {
    error = "no tempo or time signature at tick 0";
    return std::nullopt;
  }
  if (map.endTick > kMaxGridTick) {
    error = "end of track at tick " + std::to_string(map.endTick) + ", past the limit of 2^48";
    return std::nullopt;
  }
  MidiGrid grid{map.ticksPerQuarter, {}, TempoSegments(map.tempos), 0, {0, 1}};
  std::string refusal = GridBuilder(map, unit, grid).LayOutRuns();
  if (!refusal.empty()) {
    error = refusal;
    return std::nullopt;
  }
  grid.markers = SectionMarkers(map.markers, grid.endTick);
  return grid;
}

std::size_t SegmentAt(const MidiGrid& grid, const TickFraction& position, std::size_t hint) {
  const std::vector<TempoSegment>& t = grid.tempos;
  const auto before = [&](std::size_t i) { return position.num < u128(t[i].tick) * position.den; };
  if (hint < t.size() && !before(hint) && (hint + 1 == t.size() || before(hint + 1))) return hint;
  // The last tempo at or before the position (the first starts at tick 0).
  auto after = std::upper_bound(
      t.begin(), t.end(), position,
      [](const TickFraction& p, const TempoSegment& s) { return p.num < u128(s.tick) * p.den; });
  return static_cast<std::size_t>(after - t.begin()) - 1;
}

ExactTime TimeAt(const MidiGrid& grid, const TickFraction& position, std::size_t segment) {
  const TempoSegment& s = grid.tempos[segment];
  u128 into = position.num - u128(s.tick) * position.den;
  return {s.StartTime() * position.den + into * s.microsPerQuarter,
          u128(grid.ticksPerQuarter) * 1000000 * position.den};
}

ExactTime TimeAt(const MidiGrid& grid, const TickFraction& position) {
  return TimeAt(grid, position, SegmentAt(grid, position, grid.tempos.size()));
}

}  // namespace beatmarks
