#include "app/midi_run.h"

#include <string>

#include "app/output_run.h"
#include "midi/midi_export.h"
#include "terminal/output.h"

namespace beatmarks {

int MidiOutput(const OutputRequest& r) {
  const std::string& map = r.plan.mapName;
  MidiExportSettings settings;
  settings.start = r.plan.start;
  settings.stop = r.plan.stop;
  settings.divisions = r.plan.divisions;
  settings.offset = r.plan.offset;
  if (r.options.maxDrift) settings.maxDrift = *Rational::FromDecimal(*r.options.maxDrift);
  settings.trackName = map.substr(map.find_last_of('/') + 1);
  settings.firstMeasureNumber = r.plan.firstMeasureNumber;
  MidiExportPlan plan;
  const std::string error = PlanMidiExport(r.plan.timelines, settings, plan);
  if (!error.empty()) {
    Print("Error: %s: %s\n", map.c_str(), error.c_str());
    return 1;
  }
  return WriteOutput(
      r.output, WriteMode::kReplace,
      [&](ExportFile& out, std::string& problem) {
        if (WriteMidiExport(plan, out)) return true;
        problem = map + ": the file written is not the file planned";
        return false;
      },
      [&](std::uint64_t) {
        Print("Saved %llu bytes, %s\n", static_cast<unsigned long long>(plan.report.bytes),
              DescribeMidiExport(plan.report).c_str());
        return 0;
      });
}

}  // namespace beatmarks
