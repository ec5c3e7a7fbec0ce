#include "midi/midi_beats.h"

#include <algorithm>

namespace beatmarks {

namespace {
using i128 = __int128;
}  // namespace

BeatSpan BeatsIn(const Stretch& s, std::int32_t divisions, std::int64_t start, std::int64_t stop) {
  BeatSpan span;
  const i128 d = divisions;
  const i128 bpm = s.beatsPerMeasure;
  const i128 firstOnBeat = (d - s.firstDivision % d) % d;
  if (bpm < 1 || static_cast<DivisionCount>(firstOnBeat) >= s.divisions) return span;
  // Beats counted from the start of the stretch's first measure.
  const i128 a0 = s.firstBeat + (s.firstDivision != 0 ? 1 : 0);
  const DivisionCount after = s.divisions - 1 - static_cast<DivisionCount>(firstOnBeat);
  const i128 beats = static_cast<i128>(after / static_cast<DivisionCount>(d)) + 1;
  const i128 lo = std::max<i128>(0, (i128{start} - s.firstMeasure) * bpm - a0);
  const i128 hi = std::min<i128>(beats, (i128{stop} - s.firstMeasure + 1) * bpm - a0);
  if (hi <= lo) return span;
  span.first = static_cast<DivisionCount>(firstOnBeat + lo * d);
  span.count = static_cast<DivisionCount>(hi - lo);
  span.measure = static_cast<std::int64_t>(s.firstMeasure + (a0 + lo) / bpm);
  span.beat = static_cast<std::int32_t>((a0 + lo) % bpm);
  span.lastMeasure = static_cast<std::int64_t>(s.firstMeasure + (a0 + hi - 1) / bpm);
  span.lastBeat = static_cast<std::int32_t>((a0 + hi - 1) % bpm);
  return span;
}

}  // namespace beatmarks
