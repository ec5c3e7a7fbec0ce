#include "app/export_run.h"

#include <cstring>
#include <memory>
#include <string>

#include "core/display.h"
#include "core/export_file.h"
#include "core/json_format.h"
#include "core/list_format.h"
#include "core/map_check.h"
#include "core/number_scan.h"
#include "core/output.h"
#include "core/point_formats.h"
#include "core/prompt_name.h"
#include "core/read_map.h"
#include "core/stream_text.h"
#include "core/text_map_timeline.h"
#include "core/write_data.h"

namespace beatmarks {
namespace {

// RATE, START, STOP and DIVISIONS as the classic command line reads them (the
// sixth counts only when it is the last), then the named settings over them.
void ApplySettings(const Options& o, ProgramState& s) {
  const std::vector<std::string>& p = o.positional;
  if (p.size() >= 3) s.sampleRate = DecimalInt32(p[2]);
  if (p.size() >= 4) s.startMeasure = MeasureIndex(DecimalInt32(p[3]));
  if (p.size() >= 5) s.stopMeasure = MeasureIndex(DecimalInt32(p[4]));
  if (p.size() == 6) s.divisions = DecimalInt32(p[5]);
  if (o.rate) s.sampleRate = *o.rate;
  if (o.start) s.startMeasure = *o.start - 1;
  if (o.stop) s.stopMeasure = *o.stop - 1;
  if (o.divisions) s.divisions = *o.divisions;
}

int Saved(std::uint64_t bytes) {
  Print("Saved %llu bytes\n", static_cast<unsigned long long>(bytes));
  return 0;
}

int CouldNotWrite(const std::string& name) {
  Print("Error: Could not write file %s!\n", name.c_str());
  return 1;
}

// The classic list, appended to OUTPUT or written to standard output.
int ClassicList(const std::string& output, ProgramState& s) {
  bool cut = false;
  Display(s.sectionCount, s.tempo, s.measures, s.beatsPerMeasure, s.sampleRate, s.startMeasure,
          s.stopMeasure, s.divisions, s.outText, cut);
  if (output == "-") {
    ExportFile out;
    out.Open(output, ExportFile::Mode::kAppend);
    out.Put(std::string_view(s.outText.data(), ::strnlen(s.outText.data(), s.outText.size())));
    if (!out.Finish()) return CouldNotWrite(output);
    Saved(out.bytes());
  } else {
    if (!CopyName(output.c_str(), s.outFileName)) {
      PrintLine(kNameTooLong);
      return 1;
    }
    if (!WriteData(s.outText, s.outFileName, true, false)) return 1;
  }
  if (!cut) return 0;
  PrintLine(kCutWarning);
  return 1;
}

// Walks the map into the chosen exact format.
void WriteFormat(const Options& o, int count, const Rational& offset, ProgramState& s,
                 ExportFile& out) {
  const auto rate = static_cast<std::uint32_t>(s.sampleRate);
  TextMapTimeline timeline(count, s.tempo, s.beatsPerMeasure, s.measures, s.divisions, offset);
  if (o.format == "list") {
    StreamText text(out);
    ListSink list(text, s.sampleRate, s.divisions, ListSink::Times::kExact);
    list.WriteRateBlock();
    WalkBeats(timeline, s.startMeasure, s.stopMeasure, s.divisions, list);
  } else if (o.format == "json") {
    JsonSink json(out, rate, s.divisions, offset);
    TextMapTimeline sections(count, s.tempo, s.beatsPerMeasure, s.measures, s.divisions, offset);
    json.WriteSections(sections);
    WalkBeats(timeline, s.startMeasure, s.stopMeasure, s.divisions, json);
    json.End();
  } else {
    PointSink points(out, o.format == "csv" ? PointSink::Kind::kCsv : PointSink::Kind::kLabels,
                     rate, s.divisions);
    WalkBeats(timeline, s.startMeasure, s.stopMeasure, s.divisions, points);
  }
}

int ExactExport(const Options& o, const std::string& output, ProgramState& s) {
  const int count = SectionsInUse(s.sectionCount, s.measures, s.stopMeasure);
  CheckWalkable(count, s.tempo, s.beatsPerMeasure, s.measures, s.divisions);
  if (s.sampleRate < 1) {
    PrintLine("Error: Sample rate must be at least 1 for exact times!");
    return 1;
  }
  const Rational offset = o.offset ? *Rational::FromDecimal(*o.offset) : Rational();
  ExportFile out;
  const bool append = o.format == "list";
  if (!out.Open(output, append ? ExportFile::Mode::kAppend : ExportFile::Mode::kReplace)) {
    return CouldNotWrite(output);
  }
  WriteFormat(o, count, offset, s, out);
  if (!out.Finish()) return CouldNotWrite(output);
  return Saved(out.bytes());
}

}  // namespace

int RunWithOptions(const Options& o, ProgramState& s) {
  const std::string& output = o.positional[1];
  if (output == "-" && TerminalOutput() == stdout) SetTerminalOutput(stderr);
  Print("Beatmarks 1.0\n");
  if (!CopyName(o.positional[0].c_str(), s.mapFileName)) {
    PrintLine(kNameTooLong);
    return 1;
  }
  if (ReadMap(s.sectionCount, s.totalMeasures, s.totalBeats, s.tempo, s.measures,
              s.beatsPerMeasure, s.mapFileName, s.sampleRate, s.divisions, true, s.startMeasure,
              s.stopMeasure) != MapReadOutcome::kRead) {
    return 1;
  }
  ApplyStopDefault(s.stopMeasure, s.totalMeasures);
  ApplySettings(o, s);
  if (o.format == "list" && !o.exact) return ClassicList(output, s);
  return ExactExport(o, output, s);
}

}  // namespace beatmarks
