#include "fit/snapped_beats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "exact/exact_time.h"

namespace beatmarks {
namespace {

std::vector<double> Seconds(const BeatList& beats) {
  std::vector<double> seconds;
  seconds.reserve(beats.size());
  for (std::size_t k = 0; k < beats.size(); ++k) seconds.push_back(NearestDouble(beats.TimeOf(k)));
  return seconds;
}

std::string Place(const BeatList& beats, std::size_t k, std::int64_t firstNumber) {
  const BeatPlace place = beats.PlaceOf(k);
  return std::to_string(place.measure + firstNumber) + "." + std::to_string(place.beat + 1);
}

std::string Millis(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds * 1000);
  return text;
}

// Why snapped beat i (beat k of the list) is not on an attack of its own,
// or empty where it is.
std::string Doubt(const BeatList& beats, const SnapResult& r, std::size_t i, std::size_t k,
                  std::int64_t firstNumber, const std::vector<double>& taps) {
  const SnappedBeat& b = r.beats[i];
  if (b.snapped && !b.doubled) return "";
  char at[32];
  std::snprintf(at, sizeof at, "%.6f", taps[i]);
  const std::string where = "beat " + Place(beats, k, firstNumber) + " tapped at " + at + " s";
  if (b.doubled) return where + ": on the attack of the beat before; left as tapped";
  return where + ": no clear attack near it; left as tapped, less the taps' lag of " +
         Millis(r.lagSeconds) + " ms";
}

}  // namespace

bool SnapBeats(const std::string& recording, const SnapSettings& settings,
               std::int64_t firstNumber, std::size_t lines, BeatList& beats,
               BeatsSnapped& snapped, std::string& error, const std::vector<bool>& only) {
  const std::vector<double> all = Seconds(beats);
  std::vector<double> taps;  // of the beats snapped
  std::vector<std::size_t> which;
  for (std::size_t k = 0; k < all.size(); ++k) {
    if (only.empty() || only[k]) taps.push_back(all[k]), which.push_back(k);
  }
  SnapResult& r = snapped.result;
  if (!SnapTaps(recording, taps, settings, r, error)) return false;  // the line names the file
  std::vector<std::uint64_t> ticks;
  ticks.reserve(beats.size());
  for (std::size_t k = 0; k < all.size(); ++k) ticks.push_back(static_cast<std::uint64_t>(std::llround(all[k] * r.rate)));
  std::size_t doubts = 0;
  snapped.origins.assign(beats.size(), BeatOrigin::kNone);
  for (std::size_t i = 0; i < which.size(); ++i) {
    const std::size_t k = which[i];
    const bool onAttack = r.beats[i].snapped && !r.beats[i].doubled;
    snapped.origins[k] = onAttack ? BeatOrigin::kSnapped : BeatOrigin::kTapped;
    const std::string doubt = Doubt(beats, r, i, k, firstNumber, taps);
    if (!doubt.empty() && ++doubts <= lines) snapped.warnings.push_back(doubt);
    // A beat on the attack of the one before keeps its tap, one sample on
    // at least, and never leaves its window.
    const SnappedBeat& b = r.beats[i];
    std::int64_t sample = b.sample;
    if (b.doubled) sample = std::clamp(static_cast<std::int64_t>(taps[i] * r.rate + 0.5), b.earliest, b.latest);
    if (i > 0 && sample <= static_cast<std::int64_t>(ticks[which[i - 1]])) {
      sample = static_cast<std::int64_t>(ticks[which[i - 1]]) + 1;
    }
    if (i > 0 && sample > b.latest) {
      error = "beats " + Place(beats, which[i - 1], firstNumber) + " and " + Place(beats, k, firstNumber) +
              " fall on one sample of " + recording + " (" + std::to_string(r.rate) + " Hz)";
      return false;
    }
    ticks[k] = static_cast<std::uint64_t>(std::max<std::int64_t>(sample, 0));
  }
  if (doubts > lines) {
    snapped.warnings.push_back(std::to_string(doubts - lines) + " more beats left as tapped");
  }
  beats.ticks = std::move(ticks);
  beats.ticksPerSecond = r.rate;
  return true;
}

std::string DescribeSnap(const SnapResult& r) {
  const std::size_t tapped = r.beats.size() - r.snappedCount;
  return "Snapped " + std::to_string(r.snappedCount) + " of " + std::to_string(r.beats.size()) +
         " beats to attacks (median shift " + Millis(r.medianShiftMs / 1000) + " ms, largest " +
         Millis(r.largestShiftMs / 1000) + " ms), " + std::to_string(tapped) + " left as tapped";
}

}  // namespace beatmarks
