#include "app/export_run.h"

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "app/audio_run.h"
#include "core/display.h"
#include "core/export_file.h"
#include "core/json_format.h"
#include "core/list_format.h"
#include "core/map_check.h"
#include "core/map_file.h"
#include "core/midi_file.h"
#include "core/midi_grid.h"
#include "core/midi_timeline.h"
#include "core/number_scan.h"
#include "core/output.h"
#include "core/picture_builder.h"
#include "core/point_formats.h"
#include "core/prompt_name.h"
#include "core/read_map.h"
#include "core/stream_text.h"
#include "core/text_map_timeline.h"
#include "core/write_data.h"

namespace beatmarks {
namespace {

// The positional settings, then the named settings over them.
void ApplySettings(const Options& o, ProgramState& s) {
  ApplyPositionalSettings(o.positional, s);
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

}  // namespace

void ApplyPositionalSettings(const std::vector<std::string>& p, ProgramState& s) {
  if (p.size() >= 3) s.sampleRate = DecimalInt32(p[2]);
  if (p.size() >= 4) s.startMeasure = MeasureIndex(DecimalInt32(p[3]));
  if (p.size() >= 5) s.stopMeasure = MeasureIndex(DecimalInt32(p[4]));
  if (p.size() == 6) s.divisions = DecimalInt32(p[5]);
}

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
  // What fits was saved, but the list is incomplete: scripts must see that.
  PrintLine(kCutWarning);
  return 1;
}

namespace {

// Walks the map into the chosen exact format.
void WriteFormat(const Options& o, const TimelineMaker& make, const Rational& offset,
                 ProgramState& s, ExportFile& out) {
  const auto rate = static_cast<std::uint32_t>(s.sampleRate);
  std::unique_ptr<Timeline> made = make(offset);
  Timeline& timeline = *made;
  if (o.format == "svg") {
    WriteTempoSvg(BuildPicture(timeline, s.divisions, s.mapFileName.data()), out.text());
  } else if (o.format == "list") {
    StreamText text(out);
    ListSink<StreamText> list(text, s.sampleRate, s.divisions, ListTimes::kExact);
    list.WriteRateBlock();
    WalkBeats(timeline, s.startMeasure, s.stopMeasure, s.divisions, list);
  } else if (o.format == "json") {
    JsonSink json(out, rate, s.divisions, offset);
    json.WriteSections(*make(offset));
    WalkBeats(timeline, s.startMeasure, s.stopMeasure, s.divisions, json);
    json.End();
  } else {
    PointSink points(out, o.format == "csv" ? PointSink::Kind::kCsv : PointSink::Kind::kLabels,
                     rate, s.divisions);
    WalkBeats(timeline, s.startMeasure, s.stopMeasure, s.divisions, points);
  }
}

int ExactExport(const Options& o, const std::string& output, const TimelineMaker& make,
                ProgramState& s) {
  if (s.sampleRate < 1) {
    PrintLine("Error: Sample rate must be at least 1 for exact times!");
    return 1;
  }
  const Rational offset = o.offset ? *Rational::FromDecimal(*o.offset) : Rational();
  if (o.format == "wav") return AudioExport(o, output, make, offset, s);
  ExportFile out;
  const bool append = o.format == "list";
  if (!out.Open(output, append ? ExportFile::Mode::kAppend : ExportFile::Mode::kReplace)) {
    return CouldNotWrite(output);
  }
  WriteFormat(o, make, offset, s, out);
  if (!out.Finish()) return CouldNotWrite(output);
  return Saved(out.bytes());
}

int TextMapExport(const Options& o, const std::string& output, ProgramState& s) {
  const int count = SectionsInUse(s.sectionCount, s.measures, s.stopMeasure);
  CheckWalkable(count, s.tempo, s.beatsPerMeasure, s.measures, s.divisions);
  return ExactExport(o, output, [&](const Rational& offset) {
    return std::make_unique<TextMapTimeline>(count, s.tempo, s.beatsPerMeasure, s.measures,
                                             s.divisions, offset);
  }, s);
}

// A MIDI map: its grid in the chosen beat unit, the settings over it, then
// any format; the list too uses exact times.
int MidiExport(const Options& o, const std::string& bytes, ProgramState& s) {
  std::string error;
  std::optional<MidiMap> map = ReadMidi(bytes, error);
  std::optional<MidiGrid> grid;
  if (map) grid = BuildGrid(*map, *ParseBeatUnit(o.beat), error);
  if (!grid) {
    Print("Error: %s: %s\n", s.mapFileName.data(), error.c_str());
    return 1;
  }
  Print("Read %zu tempo changes, %zu meter changes, %u measures\n", map->tempos.size(),
        map->meters.size(), grid->measureCount);
  ApplyStopDefault(s.stopMeasure, grid->measureCount);
  ApplySettings(o, s);
  CheckWalkable(0, s.tempo, s.beatsPerMeasure, s.measures, s.divisions);
  return ExactExport(o, o.positional[1], [&](const Rational& offset) {
    return std::make_unique<MidiTimeline>(*grid, s.divisions, offset);
  }, s);
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
  std::string bytes;
  if (LoadMapFile(s.mapFileName.data(), bytes) == MapFileStatus::kLoaded && IsMidiFile(bytes)) {
    return MidiExport(o, bytes, s);
  }
  if (ReadMap(s.sectionCount, s.totalMeasures, s.totalBeats, s.tempo, s.measures,
              s.beatsPerMeasure, s.mapFileName, s.sampleRate, s.divisions, true, s.startMeasure,
              s.stopMeasure) != MapReadOutcome::kRead) {
    return 1;
  }
  ApplyStopDefault(s.stopMeasure, s.totalMeasures);
  ApplySettings(o, s);
  if (o.format == "list" && !o.exact) return ClassicList(output, s);
  return TextMapExport(o, output, s);
}

}  // namespace beatmarks
