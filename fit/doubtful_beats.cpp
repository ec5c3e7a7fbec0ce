#include "fit/doubtful_beats.h"

#include <algorithm>

#include "exact/exact_time.h"
#include "fit/fitted_timeline.h"

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

// More than 30% away from `other`.
bool FarFrom(std::uint64_t interval, std::uint64_t other) {
  const std::uint64_t gap = interval > other ? interval - other : other - interval;
  return u128(gap) * 10 > u128(other) * 3;
}

std::string Seconds(std::uint64_t ticks, std::uint64_t perSecond) {
  std::string text;
  AppendSecondsAt(Rational::FromFraction(ticks, perSecond), 6, text);
  return text + " s";
}

std::string Counted(std::size_t count, std::size_t most) {
  return std::to_string(count - most) + " more beat" + (count - most == 1 ? "" : "s") + " like these";
}

}  // namespace

std::vector<std::string> DoubtfulBeats(const BeatList& beats, std::int64_t firstNumber,
                                       std::size_t most) {
  std::vector<std::string> lines;
  std::size_t count = 0;
  const std::vector<std::uint64_t>& t = beats.ticks;
  const std::uint64_t rate = beats.ticksPerSecond;
  for (std::size_t i = 1; i + 2 < t.size(); ++i) {
    const std::uint64_t before = t[i] - t[i - 1], interval = t[i + 1] - t[i],
                        after = t[i + 2] - t[i + 1];
    if (!FarFrom(interval, before) || !FarFrom(interval, after)) continue;
    if (++count > most) continue;
    const BeatPlace place = beats.PlaceOf(i);
    lines.push_back("beat " + std::to_string(place.measure + firstNumber) + "." +
                    std::to_string(place.beat + 1) + " at " + Seconds(t[i], rate) + ": " +
                    Seconds(interval, rate) + " to the next, more than 30% off the " +
                    Seconds(before, rate) + " before and the " + Seconds(after, rate) +
                    " after (a tap missed or one too many?)");
  }
  if (count > most) {
    lines.push_back(Counted(count, most));
  }
  return lines;
}

std::vector<std::string> HeldBeats(const BeatList& beats, std::int64_t firstNumber, std::size_t most) {
  std::vector<std::string> lines;
  std::size_t count = 0;
  const std::size_t n = beats.size();
  for (std::size_t k = 0; k + 1 < n;) {
    const BeatPlace place = beats.PlaceOf(k);
    const auto& run = *std::prev(std::upper_bound(
        beats.runs.begin(), beats.runs.end(), place.measure,
        [](std::int64_t m, const MeasureRun& r) { return m < r.firstMeasure; }));
    const std::size_t next = std::min(n - 1, k + static_cast<std::size_t>(run.beats - place.beat));
    if (MeasureAnchorAfter(beats, k, next) < next && ++count <= most) {
      // The beat held is the one with the longest interval to the next.
      std::size_t held = k;
      for (std::size_t j = k; j < next; ++j) {
        if (beats.ticks[j + 1] - beats.ticks[j] > beats.ticks[held + 1] - beats.ticks[held]) held = j;
      }
      const BeatPlace at = beats.PlaceOf(held);
      lines.push_back("beat " + std::to_string(at.measure + firstNumber) + "." + std::to_string(at.beat + 1) +
                      " at " + Seconds(beats.ticks[held], beats.ticksPerSecond) + " held (a fermata?): " +
                      "beats of measure " + std::to_string(at.measure + firstNumber) +
                      " more than 30% of a beat off even places, kept where they were played");
    }
    k = next;
  }
  if (count > most) lines.push_back(Counted(count, most));
  return lines;
}

}  // namespace beatmarks
