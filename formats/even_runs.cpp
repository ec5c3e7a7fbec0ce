#include "formats/even_runs.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace beatmarks {
namespace {

constexpr double kMinuteInHundredths = 6e6;  // 60000 ms x 100
constexpr double kFewestHundredths = 1, kMostHundredths = 1e12;

bool NewMeter(const BeatTime& beat, const BeatTime& first) {
  return beat.beat == 0 &&
         (beat.beatsPerMeasure != first.beatsPerMeasure || beat.noteValue != first.noteValue);
}

// The beat length of a tempo in hundredths between the lengths `low` and
// `high`: the roundest such tempo (whole, else tenths), the nearest `wanted`
// of them; false where none lies between them.
bool HundredthsBetween(double low, double high, double wanted, double& length) {
  const double fewest = std::max(kFewestHundredths, std::ceil(kMinuteInHundredths / high));
  const double most = low > 0 ? std::min(kMostHundredths, std::floor(kMinuteInHundredths / low))
                              : kMostHundredths;
  for (const double step : {100.0, 10.0, 1.0}) {
    const double first = std::ceil(fewest / step) * step, last = std::floor(most / step) * step;
    if (first > last) continue;
    const double nearest = std::round(kMinuteInHundredths / wanted / step) * step;
    length = kMinuteInHundredths / std::clamp(nearest, first, last);
    return true;
  }
  return false;
}

double NearestHundredths(double length) {
  const double tempo = length > 0 ? std::round(kMinuteInHundredths / length) : kMostHundredths;
  return kMinuteInHundredths / std::clamp(tempo, kFewestHundredths, kMostHundredths);
}

}  // namespace

EvenRun LongestEvenRun(const std::vector<BeatTime>& beats, std::size_t first, double startMs,
                       double boundMs, BeatLengths lengths, double beatLength) {
  double low = 0, high = std::numeric_limits<double>::infinity();
  EvenRun run{first + 1, beatLength};
  for (; run.end < beats.size(); ++run.end) {
    if (NewMeter(beats[run.end], beats[first])) break;
    const double k = static_cast<double>(run.end - first);
    const double at = beats[run.end].seconds * 1000.0 - startMs;
    const double newLow = std::max(low, (at - boundMs) / k);
    const double newHigh = std::min(high, (at + boundMs) / k);
    if (newLow > newHigh) break;
    // The middle, or the upper edge where beats closer than the bound leave 0 in it.
    const double middle = newLow + newHigh > 0 ? (newLow + newHigh) / 2 : newHigh;
    if (lengths == BeatLengths::kAny) {
      run.beatLength = middle;
    } else if (!HundredthsBetween(newLow, newHigh, middle, run.beatLength)) {
      break;
    }
    low = newLow;
    high = newHigh;
  }
  if (run.end == first + 1 && run.end < beats.size()) {
    // Not even the next beat in bound: the length to it, its drift reported.
    run.beatLength = (beats[run.end].seconds - beats[first].seconds) * 1000.0;
    if (lengths == BeatLengths::kHundredthsOfTempo) run.beatLength = NearestHundredths(run.beatLength);
  }
  return run;
}

}  // namespace beatmarks
