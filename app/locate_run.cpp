#include "app/locate_run.h"

#include <string>
#include <utility>
#include <vector>

#include "app/output_run.h"
#include "core/map_file.h"
#include "core/section_walk.h"
#include "files/spool_file.h"
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

// TIMES opened so that it can be read twice: a pipe or standard input is
// kept in a file of its own first.
bool OpenTimes(const std::string& name, InputFile& input, std::string& reason) {
  if (!input.Open(name)) {
    reason = input.Reason();
    return false;
  }
  if (input.Rereadable()) return true;
  const int spool = SpoolToFile(input.fd(), {}, reason);
  if (spool < 0) return false;
  input.Adopt(spool);
  return true;
}

}  // namespace

int LocateOutput(const OutputRequest& r) {
  const std::string& timesName = *r.options.locate;
  const std::string shownName = ShownFileName(timesName);
  InputFile input;
  std::string reason;
  if (!OpenTimes(timesName, input, reason)) {
    Print("Error: %s: %s\n", timesName.empty() ? "''" : timesName.c_str(), reason.c_str());
    return 1;
  }
  // TIMES is read through once before OUTPUT is opened: a bad line writes nothing.
  {
    InputFeed feed = input.Feed();
    TimesReader reader(feed, shownName);
    if (r.options.timecode) reader.ReadTimecodes(*r.options.timecode);
    if (const std::string problem = CheckTimes(reader); !problem.empty()) {
      Print("Error: %s\n", problem.c_str());
      return 1;
    }
  }
  // One walk of the map builds the index and finds the sections' names.
  std::string error;
  NamedSectionWalk names;
  const std::optional<GridIndex> grid =
      GridIndex::Build(*r.plan.timelines(), r.plan.divisions, error,
                       [&](Stretch& stretch, Timeline& timeline) { names.Visit(stretch, timeline); });
  if (!grid) {
    Print("Error: %s\n", error.c_str());
    return 1;
  }
  LocateSettings settings;
  settings.rate = r.plan.rate;
  settings.offset = r.plan.offset;
  settings.firstMeasureNumber = r.plan.firstMeasureNumber;
  settings.sections = names.Take();
  return WriteOutput(r.output, WriteMode::kReplace, [&](ExportFile& out, std::string& problem) {
    // Read again from its start; should it have changed, a bad line drops OUTPUT unfinished.
    InputFeed feed = input.Feed();
    TimesReader reader(feed, shownName);
    if (r.options.timecode) reader.ReadTimecodes(*r.options.timecode);
    return WriteLocated(LocatedAs(r.options.format), reader, *grid, settings, out, problem);
  });
}

}  // namespace beatmarks
