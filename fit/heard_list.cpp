#include "fit/heard_list.h"

#include <algorithm>
#include <cmath>

#include "exact/exact_time.h"

namespace beatmarks {

BeatList ListOfHeard(const HeardBeats& heard) {
  BeatList list;
  for (const std::int64_t s : heard.samples) list.ticks.push_back(static_cast<std::uint64_t>(s));
  list.ticksPerSecond = heard.rate;
  list.runs = {{0, 0, heard.meter}};
  if (heard.before > 0) {
    list.pickup = heard.meter - heard.before;
    list.firstNumber = 0;
  }
  const auto meter = static_cast<std::size_t>(heard.meter);
  list.measureCount = static_cast<std::int64_t>((list.ticks.size() - 1 + static_cast<std::size_t>(list.pickup)) / meter + 1);
  return list;
}

TapAnchor AnchorOf(const BeatList& taps, std::optional<std::int32_t> pickup) {
  TapAnchor a;
  a.seconds = NearestDouble(taps.TimeOf(0));
  if (taps.positioned) {
    const BeatPlace p = taps.PlaceOf(0);
    a.beat = p.beat, a.measure = p.measure + taps.firstNumber;
  } else if (pickup.value_or(0) > 0) {
    a.pickup = *pickup, a.measure = 0;
  }
  return a;
}

bool ListFromTap(HeardBeats& heard, const TapAnchor& tap, BeatList& list, std::size_t& tapped,
                 std::string& error) {
  const std::vector<std::int64_t>& s = heard.samples;
  const double at = tap.seconds * heard.rate;
  std::size_t k = static_cast<std::size_t>(std::lower_bound(s.begin(), s.end(), at,
                                                            [](std::int64_t x, double t) { return x < t; }) -
                                           s.begin());
  if (k == s.size() || (k > 0 && at - static_cast<double>(s[k - 1]) < static_cast<double>(s[k]) - at)) --k;
  // The local beat: the mean of the intervals either side.
  const std::size_t lo = k > 0 ? k - 1 : k, hi = k + 1 < s.size() ? k + 1 : k;
  const double beat = static_cast<double>(s[hi] - s[lo]) / static_cast<double>(hi - lo);
  if (std::fabs(static_cast<double>(s[k]) - at) > beat / 4) {
    std::string when;
    AppendSecondsAt(Rational::FromDouble(tap.seconds), 6, when);
    error = "the tap at " + when + " s is not near a beat heard";
    return false;
  }
  const auto index = static_cast<std::int64_t>(k);
  const std::int64_t place = tap.pickup > 0 ? heard.meter - tap.pickup % heard.meter : tap.beat;
  heard.before = static_cast<std::int32_t>(((index - place) % heard.meter + heard.meter) % heard.meter);
  list = ListOfHeard(heard);
  list.firstNumber = tap.measure - list.PlaceOf(k).measure;
  tapped = k;
  return true;
}

std::string DescribeHeard(const HeardBeats& heard, const BeatList& beats, const std::string& meter) {
  const auto [low, high] = TempoRange(heard);
  const long slow = std::lround(low), fast = std::lround(high);
  const std::string tempo = slow == fast ? std::to_string(slow) : std::to_string(slow) + "-" + std::to_string(fast);
  return "Heard " + std::to_string(beats.size()) + " beats in " + std::to_string(beats.measureCount) +
         " measures of " + meter + ", " + tempo + " bpm";
}

std::vector<std::string> UnsureLines(const HeardBeats& heard, const BeatList& beats, std::int64_t firstNumber) {
  std::vector<std::string> lines;
  std::vector<std::size_t> from = heard.lostAfter;
  // The first downbeat, where the bar line or the tempo is a guess.
  if (heard.barUnsure || heard.tempoUnsure) from.insert(from.begin(), static_cast<std::size_t>(heard.before));
  for (const std::size_t k : from) {
    const BeatPlace p = beats.PlaceOf(k);
    std::string at;
    AppendSecondsAt(beats.TimeOf(k), 6, at);
    lines.push_back("Unsure from " + std::to_string(p.measure + firstNumber) + "." + std::to_string(p.beat + 1) +
                    " at " + at + " s: tap a bar there");
  }
  return lines;
}

}  // namespace beatmarks
