#include "app/locate_run.h"

#include <string>
#include <utility>
#include <vector>

#include "app/output_run.h"
#include "core/map_file.h"
#include "core/section_walk.h"
#include "locate/grid_index.h"
#include "locate/located_formats.h"
#include "locate/times_reader.h"
#include "terminal/output.h"

namespace beatmarks {
namespace {

LocatedFormat LocatedAs(const std::string& format) {
  return format == "csv" ? LocatedFormat::kCsv
         : format == "json" ? LocatedFormat::kJson
                            : LocatedFormat::kLabels;
}

}  // namespace

int LocateOutput(const OutputRequest& r) {
  const std::string& timesName = *r.options.locate;
  std::string times, reason;
  if (!ReadInputFile(timesName, times, reason)) {
    Print("Error: Could not read times %s: %s\n", timesName.c_str(), reason.c_str());
    return 1;
  }
  // TIMES is checked whole before OUTPUT is opened: a bad line writes nothing.
  if (const std::string problem = CheckTimes(times, ShownFileName(timesName)); !problem.empty()) {
    Print("Error: %s\n", problem.c_str());
    return 1;
  }
  std::string error;
  const std::optional<GridIndex> grid = GridIndex::Build(*r.plan.timelines(), r.plan.divisions, error);
  if (!grid) {
    Print("Error: %s\n", error.c_str());
    return 1;
  }
  LocateSettings settings;
  settings.rate = r.plan.rate;
  settings.offset = r.plan.offset;
  settings.firstMeasureNumber = r.plan.firstMeasureNumber;
  settings.sections = NamedSections(*r.plan.timelines());
  return WriteOutput(r.output, WriteMode::kReplace, [&](ExportFile& out, std::string& problem) {
    return WriteLocated(LocatedAs(r.options.format), times, *grid, settings, out, problem);
  });
}

}  // namespace beatmarks
