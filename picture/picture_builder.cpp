#include "picture/picture_builder.h"

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

#include "core/section_walk.h"
#include "exact/exact_time.h"
#include "picture/listened_beats.h"

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
  if (s.HasTimeSignature()) {
    return std::to_string(s.meterNumerator) + "/" + std::to_string(s.meterDenominator);
  }
  return std::to_string(s.beatsPerMeasure) + (s.beatsPerMeasure == 1 ? " beat" : " beats");
}

// A change to the tempo in force is a new step; a meter change alone is not.
void AddStep(TempoPicture& picture, TempoStep step) {
  if (picture.steps.empty() || picture.steps.back().bpm != step.bpm) picture.steps.push_back(step);
}

// The tempo as drawn: quarter notes a minute where the map has them (a MIDI
// file), else beats a minute as the map gives them.
double DrawnTempo(const Stretch& s) {
  return s.HasQuarterTempo() ? s.quarterTempo : static_cast<double>(s.tempo);
}

}  // namespace

TempoPicture BuildPicture(Timeline& timeline, std::int32_t divisions, std::string title) {
  TempoPicture picture;
  picture.title = std::move(title);
  auto spans = std::make_shared<std::vector<Span>>();
  std::string lastMeter;
  const std::string* lastName = nullptr;
  WalkStretches(timeline, StretchTimes::kEvery, [&](Stretch& s, Timeline&) {
    // A stretch that holds no division still changes the tempo, from its
    // change on; a text map's section of no measures lasts no time.
    if (!s.time || (s.divisions == 0 && !s.changeTime)) return true;
    const double start = s.changeTime ? NearestDouble(*s.changeTime) : s.time->Nearest(0);
    if (s.HasQuarterTempo()) picture.tempoUnit = TempoUnit::kQuarterNotes;
    AddStep(picture, {start, DrawnTempo(s)});
    const std::string meter = MeterLabel(s);
    if (meter != lastMeter) picture.meters.push_back({start, meter});
    // A name is drawn where it begins (a MIDI marker names every stretch up to the next).
    if (s.name != nullptr && s.name != lastName) {
      picture.names.push_back({start, *s.name});
      lastName = s.name;
    }
    lastMeter = meter;
    // The division after the last, which an empty stretch gives exactly.
    picture.end = s.time->Nearest(s.divisions);
    if (s.divisions == 0) return true;
    const double first = s.time->Nearest(0);
    spans->push_back({s.firstMeasure, s.firstBeat, s.firstDivision, s.beatsPerMeasure, first,
                      s.time->Nearest(1) - first});
    const DivisionCount perMeasure = static_cast<DivisionCount>(s.beatsPerMeasure) * divisions;
    const DivisionCount into = static_cast<DivisionCount>(s.firstBeat) * divisions + s.firstDivision;
    picture.measureCount =
        s.firstMeasure + 1 + static_cast<std::int64_t>((into + s.divisions - 1) / perMeasure);
    return true;
  });
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

void WritePicture(const WalkPlan& plan, ExportFile& out) {
  const std::string& title = plan.recording.empty() ? plan.mapName : plan.recording;
  TempoPicture picture = BuildPicture(*plan.timelines(), plan.divisions, title);
  picture.firstMeasureNumber = plan.firstMeasureNumber;
  AddListenedBeats(plan, picture);
  WriteTempoSvg(picture, out.text());
}

}  // namespace beatmarks
