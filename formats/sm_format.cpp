#include "formats/sm_format.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace beatmarks {
namespace {

constexpr double kSlack = 1e-9;  // seconds kept under the bound for the doubles

// Each beat's place in thousandths of a quarter note from the first.
std::vector<std::int64_t> QuarterPlaces(const std::vector<BeatTime>& beats) {
  std::vector<std::int64_t> places;
  double at = 0;
  for (const BeatTime& beat : beats) {
    places.push_back(std::llround(at));
    at += 4000.0 / beat.noteValue;
  }
  return places;
}

struct Run {
  std::size_t last = 0;  // the last beat the tempo keeps in bound; the next run starts on it
  std::int64_t tempo = 0;
};

// The tempos in thousandths a beat of `seconds` a quarter note could be.
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
         (beat.beatsPerMeasure != before.beatsPerMeasure || beat.noteValue != before.noteValue);
}

// The longest run of beats from `first`, read from `time`, one tempo keeps in
// bound; it ends on the first beat of a new meter.
Run LongestRun(const std::vector<BeatTime>& beats, const std::vector<std::int64_t>& places,
               std::size_t first, double time, double bound) {
  double low = 0, high = std::numeric_limits<double>::infinity();
  Run run{first + 1, 0};
  for (std::size_t end = first + 1; end < beats.size(); ++end) {
    const double quarters = static_cast<double>(places[end] - places[first]) / 1000.0;
    const double at = beats[end].seconds - time;
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
    if (NewMeter(beats[end], beats[first])) break;
  }
  return run;
}

void AppendThousandths(std::string& text, std::int64_t value) {
  if (value < 0) text += '-';
  const std::int64_t size = std::llabs(value);
  const std::string fraction = std::to_string(size % 1000);
  text += std::to_string(size / 1000);
  text += '.';
  text.append(3 - fraction.size(), '0');
  text += fraction;
}

}  // namespace

SmPlan PlanSmTiming(const std::vector<BeatTime>& beats, double bound) {
  SmPlan plan;
  if (beats.empty()) return plan;
  const std::vector<std::int64_t> places = QuarterPlaces(beats);
  bound -= kSlack;
  plan.offset = -std::llround(beats[0].seconds * 1000.0);
  double time = -static_cast<double>(plan.offset) / 1000.0;  // where the reader puts the run's start
  for (std::size_t first = 0; first + 1 < beats.size();) {
    const BeatTime& start = beats[first];
    if (plan.meters.empty() || start.beatsPerMeasure != plan.meters.back().numerator ||
        start.noteValue != plan.meters.back().denominator) {
      plan.meters.push_back({places[first], start.beatsPerMeasure, start.noteValue});
    }
    const Run run = LongestRun(beats, places, first, time, bound);
    if (plan.tempos.empty() || plan.tempos.back().tempo != run.tempo) {
      plan.tempos.push_back({places[first], run.tempo});
    }
    const double secondsPerQuarter = 60.0 / (static_cast<double>(run.tempo) / 1000.0);
    for (std::size_t i = first; i <= run.last; ++i) {
      const double read = time + static_cast<double>(places[i] - places[first]) / 1000.0 * secondsPerQuarter;
      plan.largestDrift = std::max(plan.largestDrift, std::fabs(read - beats[i].seconds));
    }
    time += static_cast<double>(places[run.last] - places[first]) / 1000.0 * secondsPerQuarter;
    first = run.last;
  }
  if (plan.tempos.empty()) plan.tempos.push_back({0, 120000});  // a lone beat
  if (plan.meters.empty()) plan.meters.push_back({0, beats[0].beatsPerMeasure, beats[0].noteValue});
  plan.largestDrift = std::max(plan.largestDrift, std::fabs(-static_cast<double>(plan.offset) / 1000.0 - beats[0].seconds));
  return plan;
}

std::string SmText(const SmPlan& plan, const std::string& audio, const std::string& title) {
  std::string text = "#TITLE:";
  text += title;
  text += ";\n#MUSIC:";
  text += audio;
  text += ";\n#OFFSET:";
  AppendThousandths(text, plan.offset);
  text += ";\n#BPMS:";
  for (std::size_t i = 0; i < plan.tempos.size(); ++i) {
    text += i == 0 ? "" : "\n,";
    AppendThousandths(text, plan.tempos[i].beat);
    text += "=";
    AppendThousandths(text, plan.tempos[i].tempo);
  }
  text += ";\n#TIMESIGNATURES:";
  for (std::size_t i = 0; i < plan.meters.size(); ++i) {
    text += i == 0 ? "" : "\n,";
    AppendThousandths(text, plan.meters[i].beat);
    text += '=';
    text += std::to_string(plan.meters[i].numerator);
    text += '=';
    text += std::to_string(plan.meters[i].denominator);
  }
  text += ";\n";
  return text;
}

}  // namespace beatmarks
