#include "formats/tempo_runs.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace beatmarks {
namespace {

constexpr double kSlack = 1e-9;  // seconds kept under each bound for the doubles

struct Run {
  std::size_t last = 0;  // the last beat the tempo keeps in bound; the next run starts on it
  std::int64_t tempo = 0;
};

// The tempos in thousandths a beat of `seconds` a quarter note could be,
// up to a billion beats a minute.
bool TempoRange(double lowSeconds, double highSeconds, std::int64_t& low, std::int64_t& high) {
  constexpr double kFastest = 1e12;
  if (highSeconds <= 0 || 60000.0 / highSeconds > kFastest) return false;
  low = static_cast<std::int64_t>(std::ceil(60000.0 / highSeconds));
  const double most = lowSeconds > 0 ? std::min(kFastest, 60000.0 / lowSeconds) : kFastest;
  high = static_cast<std::int64_t>(std::floor(most));
  return low <= high && low > 0;
}

bool NewMeter(const BeatTime& beat, const BeatTime& before) {
  return beat.beat == 0 &&
         (beat.MeterNumerator() != before.MeterNumerator() ||
          beat.MeterDenominator() != before.MeterDenominator());
}

struct Grid {
  const std::vector<BeatTime>& beats;
  const std::vector<std::int64_t>& places;
  double steps;  // a quarter note's
  const std::vector<double>& bounds;

  double Quarters(std::size_t from, std::size_t to) const {
    return static_cast<double>(places[to] - places[from]) / steps;
  }
};

// The longest run of beats from `first`, read from `time`, one tempo keeps in
// bound; it ends on the first beat of a new meter.
Run LongestRun(const Grid& g, std::size_t first, double time) {
  double low = 0, high = std::numeric_limits<double>::infinity();
  Run run{first + 1, 0};
  for (std::size_t end = first + 1; end < g.beats.size(); ++end) {
    const double quarters = g.Quarters(first, end);
    const double at = g.beats[end].seconds - time;
    const double bound = g.bounds[end] - kSlack;
    const double newLow = std::max(low, (at - bound) / quarters);
    const double newHigh = std::min(high, (at + bound) / quarters);
    std::int64_t fewest = 0, most = 0;
    if (newLow > newHigh || !TempoRange(newLow, newHigh, fewest, most)) {
      // Not even the next beat in bound: the nearest tempo, its drift reported.
      if (end == first + 1) {
        const double tempo = at > 0 ? 60000.0 * quarters / at : 1e12;
        run.tempo = std::llround(std::clamp(tempo, 1.0, 1e12));
      }
      break;
    }
    low = newLow;
    high = newHigh;
    const std::int64_t middle = std::llround(60000.0 / ((low + high) / 2));
    run = {end, std::clamp(middle, fewest, most)};
    if (NewMeter(g.beats[end], g.beats[first])) break;
  }
  return run;
}

}  // namespace

std::vector<std::int64_t> BeatPlaces(const std::vector<BeatTime>& beats, std::int64_t stepsPerQuarter) {
  std::vector<std::int64_t> places;
  places.reserve(beats.size());
  const double whole = 4.0 * static_cast<double>(stepsPerQuarter);
  double at = 0;
  for (const BeatTime& beat : beats) {
    places.push_back(std::llround(at));
    at += whole * beat.noteNumerator / beat.noteValue;
  }
  return places;
}

TempoRuns PlanTempoRuns(const std::vector<BeatTime>& beats, const std::vector<std::int64_t>& places,
                        std::int64_t stepsPerQuarter, double start, const std::vector<double>& bounds) {
  TempoRuns plan;
  if (beats.empty()) return plan;
  const Grid g{beats, places, static_cast<double>(stepsPerQuarter), bounds};
  double time = start;  // where the reader puts the run's first beat
  for (std::size_t first = 0; first + 1 < beats.size();) {
    const BeatTime& from = beats[first];
    if (plan.meters.empty() || from.MeterNumerator() != plan.meters.back().numerator ||
        from.MeterDenominator() != plan.meters.back().denominator) {
      plan.meters.push_back({places[first], from.MeterNumerator(), from.MeterDenominator()});
    }
    const Run run = LongestRun(g, first, time);
    if (plan.tempos.empty() || plan.tempos.back().tempo != run.tempo) {
      plan.tempos.push_back({places[first], run.tempo});
    }
    const double secondsPerQuarter = 60.0 / (static_cast<double>(run.tempo) / 1000.0);
    for (std::size_t i = first; i <= run.last; ++i) {
      const double read = time + g.Quarters(first, i) * secondsPerQuarter;
      plan.largestDrift = std::max(plan.largestDrift, std::fabs(read - beats[i].seconds));
    }
    time += g.Quarters(first, run.last) * secondsPerQuarter;
    first = run.last;
  }
  if (plan.tempos.empty()) plan.tempos.push_back({0, 120000});  // a lone beat
  if (plan.meters.empty()) plan.meters.push_back({0, beats[0].MeterNumerator(), beats[0].MeterDenominator()});
  plan.largestDrift = std::max(plan.largestDrift, std::fabs(start - beats[0].seconds));
  return plan;
}

}  // namespace beatmarks
