#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/inputs.h"
#include "app/run_messages.h"
#include "app/run_settings.h"
#include "classic/read_map.h"
#include "core/map_check.h"
#include "core/number_scan.h"
#include "tmap/map_numbers.h"
#include "tmap/text_map_timeline.h"
#include "terminal/output.h"

namespace beatmarks {
namespace {

// Exact times take each tempo as the map wrote it; one too long to keep
// exactly is refused rather than rounded.
bool TempoTextsKept(const SectionTable& sections, const std::string& name) {
  for (int i = 0; i < sections.count; ++i) {
    const std::string& text = (*sections.tempoText)[static_cast<std::size_t>(i)];
    if (!CanonicalIsExact(text)) {
      Print("Error: %s: the tempo of section %d has more than %zu significant digits\n",
            name.c_str(), i + 1, kExactTempoDigits);
      return false;
    }
  }
  return true;
}

// The map file's own start and stop lines narrow a run silently otherwise:
// "measures 1 to 4 of 48 (the map's stop line)".
void ReportMapRange(const Options& o, const ProgramState& s, const MeasureRange& range) {
  if (o.locate) return;  // every time is placed in the whole map
  const bool mapStart = !o.start && o.positional.size() < 4 && range.start > 0;
  const bool mapStop = !StopGiven(o, FirstMeasureNumber(o)) && s.stopMeasure != 0 &&
                       range.stop < s.totalMeasures - 1;
  if (!mapStart && !mapStop) return;
  const std::int64_t first = FirstMeasureNumber(o);
  const std::int64_t last = std::min(range.stop, s.totalMeasures - 1);  // a stop of the map's end is past it
  Print("Measures %lld to %lld of %lld (the map's %s)\n", static_cast<long long>(range.start + first),
        static_cast<long long>(last + first), static_cast<long long>(s.totalMeasures),
        mapStart && mapStop ? "start and stop lines" : mapStart ? "start line" : "stop line");
}

// Why a map file named could not be read, as the system says it; "File not
// found!" of the classic program does not say which file, nor why.
std::string WhyNotRead(const std::string& name) {
  struct stat info;
  if (name == "-" || ::stat(name.c_str(), &info) == 0) {
    if (name != "-" && S_ISDIR(info.st_mode)) return "is a folder";
    if (name != "-" && !S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) return "not a file or a pipe";
    return "could not be read";
  }
  return std::strerror(errno);
}

}  // namespace

bool ReadTextMap(const Options& o, const LoadedMap& map, ProgramState& s, MeasureRange& range,
                 int& status) {
  status = 1;
  const std::string& name = o.positional[0];
  if (map.status == MapFileStatus::kNotFound) {
    Print("Error: %s: %s\n", name == "-" ? "standard input" : name.c_str(), WhyNotRead(name).c_str());
    return false;
  }
  // A run with options refuses a number it would misread; the menu and
  // runs without options read the map as they always have.
  if (map.status == MapFileStatus::kLoaded) {
    if (std::optional<MapNumberFault> fault = FirstNumberFault(map.bytes)) {
      Print("Error: %s line %lld: %s\n", name.c_str(), static_cast<long long>(fault->line),
            fault->reason.c_str());
      return false;
    }
  }
  if (ReadLoadedMap(map, name.c_str(), MapOf(s), SettingsOf(s)) != MapReadOutcome::kRead) {
    return false;
  }
  if (s.sectionCount == 0) {
    // Text without a tmap line (a WAV, a program, a map typed with spaces)
    // would otherwise give a list of the default section.
    Print("Error: %s: no tempo map in it (no tmap line)\n",
          name == "-" ? "standard input" : name.c_str());
    return false;
  }
  ApplyRunSettings(o, s);
  range = RunRange(o, FirstMeasureNumber(o), s.totalMeasures, s);
  ReportMapRange(o, s, range);
  return true;
}

std::optional<WalkPlan> TextMapPlan(const Options& o, ProgramState& s, const MeasureRange& range,
                                    int& status) {
  status = 1;
  const SectionTable sections{SectionsInUse(s.sectionCount, s.measures, s.stopMeasure), s.tempo,
                              s.beatsPerMeasure, s.measures, &s.tempoText, &s.sectionName};
  if (const std::string problem = WalkProblem(sections, s.divisions); !problem.empty()) {
    PrintLine(AboutFile(o.positional[0] == "-" ? "standard input" : o.positional[0], problem));
    return std::nullopt;
  }
  if (!TempoTextsKept(sections, o.positional[0])) return std::nullopt;
  WalkPlan plan;
  plan.offset = OffsetSeconds(o).value_or(Rational());
  plan.timelines = [sections, divisions = s.divisions, offset = plan.offset] {
    return std::make_unique<TextMapTimeline>(sections, divisions, offset);
  };
  plan.start = range.start;
  plan.stop = range.stop;
  plan.firstMeasureNumber = FirstMeasureNumber(o);
  return plan;
}

}  // namespace beatmarks
