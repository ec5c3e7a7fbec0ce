#include "picture/picture_builder.h"

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

namespace beatmarks {
namespace {

// Where a stretch begins in the grid and how its times run, roughly.
struct Span {
  std::int64_t measure;
  std::int32_t beat, division;  // where its first division lies
  std::int32_t beatsPerMeasure;
  double start;  // seconds
  double step;   // seconds a division
};

std::string MeterLabel(const Stretch& s) {
  if (s.meterDenominator > 0) {
    return std::to_string(s.meterNumerator) + "/" + std::to_string(s.meterDenominator);
  }
  return std::to_string(s.beatsPerMeasure) + (s.beatsPerMeasure == 1 ? " beat" : " beats");
}

}  // namespace

TempoPicture BuildPicture(Timeline& timeline, std::int32_t divisions, std::string title) {
  TempoPicture picture;
  picture.title = std::move(title);
  auto spans = std::make_shared<std::vector<Span>>();
  std::string lastMeter;
  for (Stretch s; timeline.Next(s);) {
    if (s.divisions == 0) continue;
    timeline.AddTimes(s);
    const double start = s.time->Nearest(0);
    const double step = s.time->Nearest(1) - start;
    picture.steps.push_back({start, static_cast<double>(s.tempo)});
    const std::string meter = MeterLabel(s);
    if (meter != lastMeter) picture.meters.push_back({start, meter});
    lastMeter = meter;
    spans->push_back({s.firstMeasure, s.firstBeat, s.firstDivision, s.beatsPerMeasure, start, step});
    picture.end = s.time->Nearest(s.divisions);
    const DivisionCount perMeasure = static_cast<DivisionCount>(s.beatsPerMeasure) * divisions;
    const DivisionCount into = static_cast<DivisionCount>(s.firstBeat) * divisions + s.firstDivision;
    picture.measureCount =
        s.firstMeasure + 1 + static_cast<std::int64_t>((into + s.divisions - 1) / perMeasure);
  }
  picture.measureTime = [spans, divisions](std::int64_t k) {
    // The last stretch that begins at or before the measure's first division.
    auto after = std::upper_bound(spans->begin(), spans->end(), k, [](std::int64_t m, const Span& s) {
      return std::make_tuple(m, 0, 0) < std::make_tuple(s.measure, s.beat, s.division);
    });
    if (after == spans->begin()) return 0.0;
    const Span& s = *std::prev(after);
    const double beats = static_cast<double>(k - s.measure) * s.beatsPerMeasure - s.beat;
    return s.start + (beats * divisions - s.division) * s.step;
  };
  return picture;
}

}  // namespace beatmarks
