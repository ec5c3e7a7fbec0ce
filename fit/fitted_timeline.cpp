#include "fit/fitted_timeline.h"

#include <algorithm>

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

}  // namespace

std::size_t MeasureAnchorAfter(const BeatList& beats, std::size_t k, std::size_t next) {
  const std::vector<std::uint64_t>& t = beats.ticks;
  const u128 whole = t[next] - t[k], parts = next - k;
  for (std::size_t j = k + 1; j < next; ++j) {
    // |t[j] - even| > 30% of the spacing, in whole numbers.
    const u128 played = u128(t[j] - t[k]) * parts, even = whole * (j - k);
    const u128 off = played > even ? played - even : even - played;
    if (off * 10 > whole * 3) return j;
  }
  return next;
}

FittedTimeline::FittedTimeline(const BeatList& beats, FitMode mode, std::int32_t divisions,
                               TappedNote note)
    : beats_(beats), mode_(mode), divisions_(divisions), note_(note) {
  at_.beat = beats_.pickup;
  done_ = beats_.size() < 2;
}

void FittedTimeline::Advance(Cursor& at, std::uint64_t count) const {
  at.k += count;
  while (count > 0) {
    const auto left = static_cast<std::uint64_t>(Meter(at) - at.beat);
    if (count < left) {
      at.beat += static_cast<std::int32_t>(count);
      return;
    }
    count -= left;
    at.beat = 0;
    ++at.measure;
    if (at.run + 1 < beats_.runs.size() && beats_.runs[at.run + 1].firstMeasure == at.measure) {
      ++at.run;
    }
  }
}

bool FittedTimeline::SpanAt(const Cursor& at, Span& span) const {
  const std::size_t n = beats_.size();
  if (at.k >= n) return false;
  if (at.k == n - 1) {
    // The last beat given, alone: the map ends where the playing ends.
    span = last_;
    span.count = 0;
    return true;
  }
  std::size_t next = at.k + 1;
  if (mode_ == FitMode::kMeasure) {
    next = MeasureAnchorAfter(beats_, at.k,
                              std::min(n - 1, at.k + static_cast<std::size_t>(Meter(at) - at.beat)));
  }
  span.ticks = beats_.ticks[next] - beats_.ticks[at.k];
  span.beats = next - at.k;
  span.count = span.beats;
  return true;
}

bool FittedTimeline::Next(Stretch& s) {
  Span span;
  if (done_ || !SpanAt(at_, span)) return false;
  const Cursor start = at_;
  const std::int32_t meter = Meter(at_);
  const Span spacing = span;
  DivisionCount divisions = 0;
  std::int64_t measures = 0;
  while (true) {
    // A span lies within one measure: every downbeat given is an anchor.
    if (at_.beat == 0) ++measures;
    if (span.count == 0) {
      // The last beat's first division ends the map: nothing after it.
      ++divisions;
      done_ = true;
      break;
    }
    divisions += static_cast<DivisionCount>(span.count) * static_cast<DivisionCount>(divisions_);
    last_ = span;
    Advance(at_, span.count);
    if (!SpanAt(at_, span)) {
      done_ = true;
      break;
    }
    const bool same = Meter(at_) == meter &&
                      u128(span.ticks) * spacing.beats == u128(spacing.ticks) * span.beats;
    if (!same) break;
  }
  first_ = start.k;
  spacing_ = spacing;
  s.source = StretchSource::kFitted;
  s.number = ++number_;
  const long double bpm = 60.0L * static_cast<long double>(spacing.beats) *
                          static_cast<long double>(beats_.ticksPerSecond) /
                          static_cast<long double>(spacing.ticks);
  s.tempo = static_cast<float>(bpm);
  // 60 x ticksPerSecond x beats below 2^128: ticks a second up to 10^19, beats
  // of a span up to 2^31.
  s.tempoNumerator = 60 * u128(beats_.ticksPerSecond) * spacing.beats;
  s.tempoDenominator = spacing.ticks;
  s.tempoText = nullptr;
  s.name = nullptr;
  s.beatsPerMeasure = meter;
  // A compound meter's time signature counts eighths, three to a beat.
  const bool compound = note_ == TappedNote::kDottedQuarter;
  // (Held below 2^31 for a measure of absurdly many beats; no MIDI file takes it.)
  const std::int64_t eighths = std::min<std::int64_t>(3 * std::int64_t{meter}, INT32_MAX);
  s.meterNumerator = compound ? static_cast<std::int32_t>(eighths) : 0;
  s.meterDenominator = compound ? 8 : 0;
  s.measures = measures;
  s.startsSection = false;
  s.firstMeasure = start.measure;
  s.firstBeat = start.beat;
  s.firstDivision = 0;
  s.divisions = divisions;
  s.time.reset();
  s.quarterTempo = 0;
  s.beatNoteNumerator = compound ? 3 : 0;
  s.beatNoteDenominator = compound ? 8 : 0;
  s.changeTime.reset();
  return true;
}

void FittedTimeline::AddTimes(Stretch& s) {
  if (s.time) return;
  const u128 perDivision = u128(beats_.ticksPerSecond) * spacing_.beats * static_cast<u128>(divisions_);
  s.time.emplace(LinearTime::FromFractions(beats_.ticks[first_], beats_.ticksPerSecond, spacing_.ticks,
                                           perDivision));
}

}  // namespace beatmarks
