#include "fit/doubtful_beats.h"

#include "exact/exact_time.h"

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
    lines.push_back(std::to_string(count - most) + " more beat" + (count - most == 1 ? "" : "s") +
                    " like these");
  }
  return lines;
}

}  // namespace beatmarks
