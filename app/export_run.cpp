#include "app/export_run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/audio_run.h"
#include "app/fit_run.h"
#include "app/format_run.h"
#include "app/run_report.h"
#include "classic/display.h"
#include "classic/read_map.h"
#include "classic/write_data.h"
#include "core/map_check.h"
#include "core/map_file.h"
#include "core/number_scan.h"
#include "core/text_map_timeline.h"
#include "files/export_file.h"
#include "formats/list_format.h"
#include "formats/midi_export.h"
#include "locate/located_formats.h"
#include "locate/times_reader.h"
#include "formats/stream_text.h"
#include "midi/midi_file.h"
#include "midi/midi_grid.h"
#include "midi/midi_timeline.h"
#include "terminal/output.h"
#include "terminal/prompt_name.h"

namespace beatmarks {
namespace {

std::int32_t ShiftedIndex(std::int32_t index, std::int64_t shift) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(index + shift, INT32_MIN, INT32_MAX));
}

}  // namespace

void ApplyRunSettings(const Options& o, ProgramState& s) {
  ApplyPositionalSettings(o.positional, s);
  if (o.rate) s.sampleRate = *o.rate;
  if (o.start) s.startMeasure = *o.start - 1;
  if (o.stop) s.stopMeasure = *o.stop - 1;
  if (o.divisions) s.divisions = *o.divisions;
  // START and STOP count from the map's first measure as the run numbers it.
  const std::int64_t shift = 1 - FirstMeasureNumber(o);
  const bool startGiven = o.start || o.positional.size() >= 4;
  const bool stopGiven = o.stop || o.positional.size() >= 5;
  if (startGiven) s.startMeasure = ShiftedIndex(s.startMeasure, shift);
  if (stopGiven) s.stopMeasure = ShiftedIndex(s.stopMeasure, shift);
}

namespace {



}  // namespace

void ApplyPositionalSettings(const std::vector<std::string>& p, ProgramState& s) {
  if (p.size() >= 3) s.sampleRate = DecimalInt32(p[2]);
  if (p.size() >= 4) s.startMeasure = MeasureIndex(DecimalInt32(p[3]));
  if (p.size() >= 5) s.stopMeasure = MeasureIndex(DecimalInt32(p[4]));
  if (p.size() == 6) s.divisions = DecimalInt32(p[5]);
}

int ClassicList(const std::string& output, ProgramState& s, bool withReason) {
  bool cut = false;
  if (!Display(s.sectionCount, s.tempo, s.measures, s.beatsPerMeasure, s.sampleRate,
               s.startMeasure, s.stopMeasure, s.divisions, s.outText, cut)) {
    return 1;
  }
  if (output == "-") {
    ExportFile out;
    FlushOutput();
    out.Open(output, WriteMode::kAppend);
    out.Put(std::string_view(s.outText.data(), ::strnlen(s.outText.data(), s.outText.size())));
    if (!out.Finish()) return CouldNotWrite(output, out.Error());
    Saved(out.bytes());
  } else {
    if (!CopyName(output.c_str(), s.outFileName)) {
      PrintLine(kNameTooLong);
      return 1;
    }
    if (!WriteData(s.outText, s.outFileName, true, false)) {
      if (withReason) SayWhy(output, errno);
      return 1;
    }
  }
  if (!cut) return 0;
  // What fits was saved, but the list is incomplete: scripts must see that.
  PrintLine(kCutWarning);
  return 1;
}

namespace {

// The tempo map as a MIDI file: planned in full, and refused in one line,
// before the output is opened.
int MidiFileExport(const Options& o, const std::string& output, const TimelinesFrom& make,
                   const Rational& offset, const ProgramState& s) {
  const std::string& map = o.positional[0];
  MidiExportSettings settings;
  settings.start = s.startMeasure;
  settings.stop = s.stopMeasure;
  settings.divisions = s.divisions;
  settings.offset = offset;
  if (o.maxDrift) settings.maxDrift = *Rational::FromDecimal(*o.maxDrift);
  settings.trackName = map.substr(map.find_last_of('/') + 1);
  settings.firstMeasureNumber = FirstMeasureNumber(o);
  const TimelineMaker timelines = [&] { return make(offset); };
  MidiExportReport report;
  const std::string error = CheckMidiExport(timelines, settings, report);
  if (!error.empty()) {
    Print("Error: %s: %s\n", map.c_str(), error.c_str());
    return 1;
  }
  ExportFile out;
  FlushOutput();  // the messages so far come before the data
  if (!out.Open(output, WriteMode::kReplace)) return CouldNotWrite(output, out.Error());
  const bool written = WriteMidiExport(timelines, settings, report, out);
  if (!out.Finish() || !written) return CouldNotWrite(output, out.Error());
  Print("Saved %llu bytes, %s\n", static_cast<unsigned long long>(report.bytes),
        DescribeMidiExport(report).c_str());
  return 0;
}

}  // namespace

// Where each section begins and its name, for --locate: every section of a
// text map; a MIDI map's markers (with no name before the first); none for
// a MIDI map without markers or fitted beats.
std::vector<std::pair<Rational, std::string>> SectionsOf(Timeline& timeline) {
  std::vector<std::pair<Rational, std::string>> sections;
  const std::string* last = nullptr;
  bool named = false;
  for (Stretch st; timeline.Next(st);) {
    if (st.divisions == 0) continue;
    const bool text = st.tempoText != nullptr;
    if (!text && !sections.empty() && (st.name == nullptr || st.name == last)) continue;
    timeline.AddTimes(st);
    if (!st.time) return {};
    const Rational start = st.changeTime ? *st.changeTime : st.time->At(0);
    const std::string unnamed = text ? "Section " + std::to_string(st.number) : "";
    sections.emplace_back(start, st.name != nullptr ? *st.name : unnamed);
    named = named || text || st.name != nullptr;
    last = st.name;
  }
  return named ? sections : decltype(sections){};
}

// --locate: where each time of TIMES falls in the grid, in the chosen format.
int LocateExport(const Options& o, const std::string& output, const TimelinesFrom& make,
                 const Rational& offset, const ProgramState& s) {
  std::string times, reason;
  if (!ReadInputFile(*o.locate, times, reason)) {
    Print("Error: Could not read times %s: %s\n", o.locate->c_str(), reason.c_str());
    return 1;
  }
  // TIMES is checked whole before OUTPUT is opened: a bad line writes nothing.
  if (const std::string problem = CheckTimes(times); !problem.empty()) {
    Print("Error: %s\n", problem.c_str());
    return 1;
  }
  const GridIndex grid = GridIndex::Build(*make(offset), s.divisions);
  LocateSettings settings;
  settings.rate = static_cast<std::uint32_t>(s.sampleRate);
  settings.offset = offset;
  settings.firstMeasureNumber = FirstMeasureNumber(o);
  settings.sections = SectionsOf(*make(offset));
  const LocatedFormat format = o.format == "csv"    ? LocatedFormat::kCsv
                               : o.format == "json" ? LocatedFormat::kJson
                                                    : LocatedFormat::kLabels;
  ExportFile out;
  FlushOutput();  // the messages so far come before the data
  if (!out.Open(output, WriteMode::kReplace)) return CouldNotWrite(output, out.Error());
  std::string error;
  if (!WriteLocated(format, times, grid, settings, out, error)) {
    Print("Error: %s\n", error.c_str());
    return 1;  // nothing replaced: the output is dropped unfinished
  }
  if (!out.Finish()) return CouldNotWrite(output, out.Error());
  return Saved(out.bytes());
}

int ExactExport(const Options& o, const std::string& output, const TimelinesFrom& make,
                ProgramState& s) {
  if (s.sampleRate < 1) {
    PrintLine("Error: Sample rate must be at least 1 for exact times!");
    return 1;
  }
  const Rational offset = o.offset ? *Rational::FromDecimal(*o.offset) : Rational();
  if (o.format == "wav") return AudioExport(o, output, [&] { return make(offset); }, s);
  if (o.format == "midi") return MidiFileExport(o, output, make, offset, s);
  if (o.locate) return LocateExport(o, output, make, offset, s);
  ExportFile out;
  const bool append = o.format == "list";
  FlushOutput();  // the messages so far come before the data
  if (!out.Open(output, append ? WriteMode::kAppend : WriteMode::kReplace)) {
    return CouldNotWrite(output, out.Error());
  }
  WriteFormat(o, make, offset, s, out);
  if (!out.Finish()) return CouldNotWrite(output, out.Error());
  return Saved(out.bytes());
}

namespace {

// The first reason the map cannot be walked, printed; false then.
bool Walkable(const SectionTable& sections, std::int32_t divisions) {
  std::string problem = WalkProblem(sections, divisions);
  if (!problem.empty()) PrintLine(problem);
  return problem.empty();
}

// Exact times take each tempo as the map wrote it; one too long to keep
// exactly is refused rather than rounded.
bool TempoTextsKept(const SectionTable& sections) {
  for (int i = 0; i < sections.count; ++i) {
    const std::string& text = (*sections.tempoText)[static_cast<std::size_t>(i)];
    if (!CanonicalIsExact(text)) {
      Print("Error: Tempo has more than %zu significant digits! (section %d)\n",
            kExactTempoDigits, i + 1);
      return false;
    }
  }
  return true;
}

int TextMapExport(const Options& o, const std::string& output, ProgramState& s) {
  const SectionTable sections{SectionsInUse(s.sectionCount, s.measures, s.stopMeasure), s.tempo,
                              s.beatsPerMeasure, s.measures, &s.tempoText, &s.sectionName};
  if (!Walkable(sections, s.divisions) || !TempoTextsKept(sections)) return 1;
  return ExactExport(o, output, [&](const Rational& offset) {
    return std::make_unique<TextMapTimeline>(sections, s.divisions, offset);
  }, s);
}

// What a MIDI file without a tempo event or a time signature was taken to have.
const char* AssumedNote(const MidiMap& map) {
  if (!map.tempoGiven && !map.meterGiven) return " (no tempo or time signature: 120 bpm and 4/4 assumed)";
  if (!map.tempoGiven) return " (no tempo: 120 bpm assumed)";
  if (!map.meterGiven) return " (no time signature: 4/4 assumed)";
  return "";
}

// A MIDI map: its grid in the chosen beat unit, the settings over it, then
// any format; the list too uses exact times.
int MidiExport(const Options& o, const std::string& bytes, ProgramState& s) {
  std::string error;
  std::optional<MidiMap> map = ReadMidi(bytes, error);
  std::optional<MidiGrid> grid;
  if (map) grid = BuildGrid(*map, *ParseBeatUnit(o.beat), error);
  if (!grid) {
    Print("Error: %s: %s\n", o.positional[0].c_str(), error.c_str());
    return 1;
  }
  Print("Read %zu tempo changes, %zu meter changes, %u measures%s\n", map->tempos.size(),
        map->meters.size(), grid->measureCount, AssumedNote(*map));
  ApplyStopDefault(s.stopMeasure, grid->measureCount);
  ApplyRunSettings(o, s);
  if (!Walkable({0, s.tempo, s.beatsPerMeasure, s.measures}, s.divisions)) return 1;
  return ExactExport(o, o.positional[1], [&](const Rational& offset) {
    return std::make_unique<MidiTimeline>(*grid, s.divisions, offset);
  }, s);
}

}  // namespace

int RunWithOptions(const Options& o, const LoadedMap* loaded, ProgramState& s) {
  const std::string& output = o.positional[1];
  if (output == "-" && TerminalOutput() == stdout) SetTerminalOutput(stderr);
  Print("Beatmarks 1.0\n");
  // Only the classic list keeps names in its 128-byte buffers; it refuses a
  // longer OUTPUT before anything is read. Other runs take any name.
  const bool classicList = o.format == "list" && !o.exact;
  if (classicList && !CopyName(output.c_str(), s.outFileName)) {
    PrintLine(kNameTooLong);
    return 1;
  }
  const std::string& name = o.positional[0];
  if (o.fit) return FitRun(o, s);
  LoadedMap read;
  if (loaded == nullptr) read = LoadMap(name.c_str());
  const LoadedMap& map = loaded != nullptr ? *loaded : read;
  if (map.status == MapFileStatus::kLoaded && IsMidiFile(map.bytes)) {
    return MidiExport(o, map.bytes, s);
  }
  if (ReadLoadedMap(map, name.c_str(), MapOf(s), SettingsOf(s)) != MapReadOutcome::kRead) {
    return 1;
  }
  if (s.sectionCount == 0) {
    // Text without a tmap line (a WAV, a program, a map typed with spaces)
    // would otherwise give a list of the default section.
    Print("Error: %s holds no tempo map (no tmap line)\n", name.c_str());
    return 1;
  }
  ApplyStopDefault(s.stopMeasure, s.totalMeasures);
  ApplyRunSettings(o, s);
  if (classicList) return ClassicList(output, s, true);
  return TextMapExport(o, output, s);
}

}  // namespace beatmarks
