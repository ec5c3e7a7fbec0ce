#include "app/run.h"

#include <cstdio>
#include <optional>
#include <string>

#include "app/classic_list.h"
#include "app/format_table.h"
#include "app/input_guard.h"
#include "app/inputs.h"
#include "app/locate_run.h"
#include "app/output_run.h"
#include "app/run_messages.h"
#include "midi/midi_file.h"
#include "terminal/output.h"
#include "terminal/prompt_name.h"

namespace beatmarks {
namespace {

// The chosen output, written from the plan: every one with exact times.
int WriteFromPlan(const Options& o, WalkPlan& plan, ProgramState& s) {
  if (s.sampleRate < 1) {
    PrintLine("Error: Sample rate must be at least 1 for exact times!");
    return 1;
  }
  plan.divisions = s.divisions;
  plan.rate = static_cast<std::uint32_t>(s.sampleRate);
  plan.mapName = o.positional[0];
  plan.timecode = o.timecode;
  const std::string& output = o.positional[1];
  const FormatRow& format = *FindFormat(o.format);
  if (format.run != nullptr) return format.run({o, plan, s, output});
  if (o.locate) return LocateOutput({o, plan, s, output});
  return WriteOutput(output, format.mode, [&](ExportFile& out, std::string&) {
    format.write(plan, out);
    return true;
  });
}

// A text map: the classic list where it is asked for, else its plan.
int TextMapRun(const Options& o, const LoadedMap& map, bool classicList, ProgramState& s) {
  int status = 1;
  MeasureRange range;
  if (!ReadTextMap(o, map, s, range, status)) return status;
  if (classicList) return ClassicList(o.positional[1], range, s, true);
  std::optional<WalkPlan> plan = TextMapPlan(o, s, range, status);
  return plan ? WriteFromPlan(o, *plan, s) : status;
}

}  // namespace

int RunWithOptions(const Options& o, const LoadedMap* loaded, ProgramState& s) {
  const std::string& output = o.positional[1];
  // A MIDI map given without options keeps the classic program's messages.
  std::optional<RunMessages> messages;
  if (o.given || output == "-") messages.emplace(o.quiet);
  Print("Beatmarks 1.0\n");
  // Only the classic list keeps names in its 128-byte buffers; it refuses a
  // longer OUTPUT before anything is read. Other runs take any name.
  const bool classicList = o.format == "list" && !o.exact;
  if (classicList && !CopyName(output.c_str(), s.outFileName)) {
    PrintLine(kNameTooLong);
    return 1;
  }
  if (std::optional<std::string> input = InputAtOutput(o)) {
    Print("Error: %s: the output may not be the %s itself\n", output.c_str(), input->c_str());
    return 1;
  }
  int status = 1;
  std::optional<WalkPlan> plan;
  if (o.fit) {
    plan = FittedPlan(o, s, status);
  } else {
    LoadedMap read;
    if (loaded == nullptr) read = LoadMapOrPipe(o.positional[0]);
    const LoadedMap& map = loaded != nullptr ? *loaded : read;
    const bool midi = map.status == MapFileStatus::kLoaded && IsMidiFile(map.bytes);
    if (!midi) return TextMapRun(o, map, classicList, s);
    plan = MidiPlan(o, map.bytes, s, status);
  }
  return plan ? WriteFromPlan(o, *plan, s) : status;
}

}  // namespace beatmarks
