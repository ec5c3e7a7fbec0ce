#include <memory>

#include "app/command_line.h"
#include "app/inputs.h"
#include "app/run_settings.h"
#include "core/map_check.h"
#include "midi/midi_file.h"
#include "midi/midi_grid.h"
#include "midi/midi_timeline.h"
#include "terminal/output.h"

namespace beatmarks {
namespace {

// What a MIDI file without a tempo event or a time signature was taken to have.
const char* AssumedNote(const MidiMap& map) {
  if (!map.tempoGiven && !map.meterGiven) return " (no tempo or time signature: 120 bpm and 4/4 assumed)";
  if (!map.tempoGiven) return " (no tempo: 120 bpm assumed)";
  if (!map.meterGiven) return " (no time signature: 4/4 assumed)";
  return "";
}

}  // namespace

std::optional<WalkPlan> MidiPlan(const Options& o, const std::string& bytes, ProgramState& s,
                                 int& status) {
  status = 1;
  std::string error;
  std::optional<MidiMap> map = ReadMidi(bytes, error);
  std::optional<MidiGrid> grid;
  if (map) grid = BuildGrid(*map, *ParseBeatUnit(o.beat), error);
  if (!grid) {
    Print("Error: %s: %s\n", o.positional[0].c_str(), error.c_str());
    return std::nullopt;
  }
  Print("Read %zu tempo changes, %zu meter changes, %u measures%s\n", map->tempos.size(),
        map->meters.size(), grid->measureCount, AssumedNote(*map));
  ApplyRunSettings(o, s);
  const MeasureRange range = RunRange(o, FirstMeasureNumber(o), grid->measureCount, s);
  const std::string problem = WalkProblem({0, s.tempo, s.beatsPerMeasure, s.measures}, s.divisions);
  if (!problem.empty()) {
    PrintLine(problem);
    return std::nullopt;
  }
  WalkPlan plan;
  plan.offset = OffsetSeconds(o).value_or(Rational());
  auto shared = std::make_shared<const MidiGrid>(std::move(*grid));
  plan.timelines = [shared, divisions = s.divisions, offset = plan.offset] {
    return std::make_unique<MidiTimeline>(*shared, divisions, offset);
  };
  plan.start = range.start;
  plan.stop = range.stop;
  plan.firstMeasureNumber = FirstMeasureNumber(o);
  return plan;
}

}  // namespace beatmarks
