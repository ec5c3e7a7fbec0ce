#include "midi/midi_sections.h"

#include <vector>

#include "core/capacity.h"
#include "core/section_walk.h"
#include "midi/midi_file.h"
#include "midi/midi_grid.h"
#include "midi/midi_timeline.h"

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

struct Section {
  float tempo;
  std::int32_t beats, measures;
};

// Every meter change ends a whole measure, and every tempo change before the
// end falls on a bar line of the run it is in.
bool ChangesOnBarLines(const MidiGrid& grid) {
  for (const MeterRun& r : grid.runs) {
    if (r.cutBeats != 0) return false;
  }
  for (const TempoSegment& t : grid.tempos) {
    if (u128(t.tick) * grid.endTick.den >= grid.endTick.num) break;
    const MeterRun* run = &grid.runs.front();
    for (const MeterRun& r : grid.runs) {
      if (r.startTick <= t.tick) run = &r;
    }
    const u128 into = u128(t.tick - run->startTick) * run->beatTicks.den;
    if (into % (u128(run->beatsPerMeasure) * run->beatTicks.num) != 0) return false;
  }
  return true;
}

}  // namespace

bool MidiToSections(std::string_view bytes, const MapRef& m, std::string& error) {
  std::optional<MidiMap> map = ReadMidi(bytes, error);
  if (!map) return false;
  std::optional<MidiGrid> grid = BuildGrid(*map, BeatUnit::kDenominator, error);
  if (!grid) return false;
  if (!ChangesOnBarLines(*grid)) {
    error = "tempo or meter changes off bar lines; give it on the command line with a --format";
    return false;
  }
  std::vector<Section> sections;
  MidiTimeline timeline(*grid, 1, Rational());
  WalkStretches(timeline, StretchTimes::kAsked, [&](Stretch& s, Timeline&) {
    if (s.divisions == 0) return true;
    sections.push_back({s.tempo, s.beatsPerMeasure,
                        static_cast<std::int32_t>(s.divisions / static_cast<DivisionCount>(s.beatsPerMeasure))});
    return true;
  });
  if (sections.size() > static_cast<std::size_t>(kMaxSectionsRead)) {
    error = "more than 510 tempo and meter changes; give it on the command line with a --format";
    return false;
  }
  m.sectionCount = static_cast<std::int32_t>(sections.size());
  m.totalMeasures = m.totalBeats = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    m.tempo[i] = sections[i].tempo;
    m.beatsPerMeasure[i] = sections[i].beats;
    m.measures[i] = sections[i].measures;
    m.totalMeasures += sections[i].measures;
    m.totalBeats += std::int64_t{sections[i].measures} * sections[i].beats;
  }
  return true;
}

}  // namespace beatmarks
