#include "fit/heard_list.h"

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
  if (heard.barUnsure) from.insert(from.begin(), static_cast<std::size_t>(heard.before));  // the first downbeat
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
