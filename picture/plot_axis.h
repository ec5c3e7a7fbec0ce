#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace beatmarks {

struct AxisTick {
  double value;
  std::string label;
};

// One axis of a picture: its range, whether it is logarithmic, its round
// ticks (at most a few dozen) and its title.
struct PlotAxis {
  double lo = 0;
  double hi = 1;
  bool log = false;
  std::vector<AxisTick> ticks;
  std::string title;

  // Where a value falls, from 0 at lo to 1 at hi; clamped, and 0 for NaN.
  double Fraction(double value) const;
};

// A tempo axis for tempos min..max (0 < min <= max, finite), starting near
// min with a margin: linear with ticks in steps of 1, 2 or 5 times a power of
// ten, or logarithmic when max / min exceeds 100. Its title names the unit
// ("Tempo (beats per minute)"), which is plain text.
PlotAxis TempoAxis(double min, double max, const std::string& unit = "beats per minute");

// A time axis from 0 to end seconds (end > 0, finite): seconds in steps of 1,
// 2 or 5 times a power of ten, or m:ss at round minutes and seconds from two
// minutes up.
PlotAxis TimeAxis(double end);

// The smallest stride 1, 2, 5, 10, 20, 50, ... that leaves at most `most`
// (1 or more) of measures 0, stride, 2 stride, ... below count.
std::int64_t MeasureStride(std::int64_t count, std::int64_t most);

}  // namespace beatmarks
