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

// A beat's ticks: a quarter note, or the beat of a map with time signatures
// (a MIDI map, a compound meter's dotted quarter) as a fraction of a whole
// note; and the time signature that says so. Empty, or why no MIDI file holds them.
std::string BeatAndMeterOf(const Stretch& s, std::uint32_t ticksPerQuarter, std::uint32_t& beatTicks,
                           TimeSignature& meter) {
  if (s.HasTimeSignature()) {
    const std::int64_t whole = std::int64_t{4} * ticksPerQuarter * s.beatNoteNumerator;
    if (s.beatNoteDenominator < 1 || whole % s.beatNoteDenominator != 0 ||
        whole / s.beatNoteDenominator < 1) {
      return "a beat of " + std::to_string(s.beatNoteNumerator) + "/" +
             std::to_string(s.beatNoteDenominator) + " note is not a whole number of ticks";
    }
    beatTicks = static_cast<std::uint32_t>(whole / s.beatNoteDenominator);
    meter.numerator = s.meterNumerator;
    meter.power = 0;
    while ((1 << meter.power) < s.meterDenominator && meter.power < 30) ++meter.power;
    // The metronome clicks the beat (96 MIDI clocks a whole note) where it can.
    const std::int64_t clocks = std::int64_t{96} * s.beatNoteNumerator;
    if (clocks % s.beatNoteDenominator == 0 && clocks / s.beatNoteDenominator <= 255) {
      meter.clocks = static_cast<int>(clocks / s.beatNoteDenominator);
    }
  }
  if (meter.numerator < 1 || meter.numerator > 255) {
    return std::to_string(meter.numerator) +
           " beats a measure, more than a MIDI time signature holds (255)";
  }
  return "";
}

}  // namespace beatmarks
