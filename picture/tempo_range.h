#pragma once

// The tempos a picture's axis covers: those played, not a stray one. The
// 2nd and 98th percentiles of the tempo over time (from a histogram of fixed
// size, however many steps) bound what is played; a tempo more than half as
// much again above, or below two thirds of, that range is an outlier (a
// double or a missed tap, one wild MIDI tempo). Without outliers the axis
// covers every tempo, as before; with them it covers the others, and the
// outliers are drawn clipped at its edge and marked.

#include <vector>

#include "picture/tempo_picture.h"

namespace beatmarks {

struct TempoRange {
  double lo = 120, hi = 120;  // what the axis covers
  double lowest = 120, highest = 120;  // every tempo drawn
  bool Clips() const { return lowest < lo || highest > hi; }
};

// `steps` as drawn (finite positive tempos, starts in order within 0..end).
TempoRange PlayedTempos(const std::vector<TempoStep>& steps, double end);

}  // namespace beatmarks
