#include "app/entry.h"

#include <csignal>
#include <cstdio>
#include <string>

#include "app/classic_list.h"
#include "app/run.h"
#include "app/run_settings.h"
#include "app/command_line.h"
#include "app/input_guard.h"
#include "app/run_report.h"
#include "classic/read_map.h"
#include "console/command_loop.h"
#include "core/map_file.h"
#include "midi/midi_file.h"
#include "terminal/output.h"
#include "terminal/prompt_name.h"

namespace beatmarks {
namespace {

bool NamesFit(int count, const char* const* arguments) {
  NameBuffer scratch;
  for (int i = 0; i < count && i < 2; ++i) {
    if (!CopyName(arguments[i], scratch)) return false;
  }
  return true;
}

// The program as it has always run: no option, and no '-' for OUTPUT.
// A run of two or more arguments comes with its map file already loaded.
int ClassicProgram(int argumentCount, const char* const* arguments, const LoadedMap* loaded,
                   ProgramState& state) {
  Print("Beatmarks 1.0\n");
  if (!NamesFit(argumentCount, arguments)) {
    PrintLine(kNameTooLong);
    return 1;
  }
  if (argumentCount == 0) {
    CommandLoop(state);
    return 0;
  }
  CopyName(arguments[0], state.mapFileName);
  MapReadOutcome outcome =
      loaded != nullptr
          ? ReadLoadedMap(*loaded, state.mapFileName.data(), MapOf(state), SettingsOf(state))
          : ReadMap(state.sectionCount, state.totalMeasures, state.totalBeats, state.tempo,
                    state.measures, state.beatsPerMeasure, state.mapFileName, state.sampleRate,
                    state.divisions, true, state.startMeasure, state.stopMeasure);
  if (argumentCount == 1) {
    ApplyStopDefault(state.stopMeasure, state.totalMeasures);
    state.mapLoaded = true;
    CommandLoop(state);
    return 0;
  }
  // A run whose map could not be read writes nothing rather than a list of
  // the default section that looks like success.
  if (outcome != MapReadOutcome::kRead) return 1;
  // `beatmarks out.csv song.tmap` would read the CSV as an empty map and
  // append a list of the default section to the map itself.
  if (state.sectionCount == 0 && HoldsTempoMap(arguments[1])) {
    Print("Error: %s holds no tempo map but %s does: the arguments look swapped (MAP comes "
          "first, then OUTPUT); nothing written\n", arguments[0], arguments[1]);
    return 1;
  }
  Options classic;
  classic.positional.assign(arguments, arguments + argumentCount);
  ApplyPositionalSettings(classic.positional, state);
  // The default section alone reaches no further than 32 bits can count.
  const MeasureReach reach = state.sectionCount > 0 ? MeasureReach::kWide : MeasureReach::k32Bit;
  return ClassicList(arguments[1], RunRange(classic, 1, state.totalMeasures, state, reach), state, false);
}

// A run without options: the classic program, unless MAP is a MIDI file,
// for which there is no classic arithmetic to keep. The map file is read
// once, after the names are known to fit, and that one reading serves.
int WithoutOptions(const Options& options, int argumentCount, const char* const* arguments,
                   ProgramState& state) {
  if (options.positional.size() < 2 || !NamesFit(argumentCount, arguments)) {
    return ClassicProgram(argumentCount, arguments, nullptr, state);
  }
  LoadedMap map = LoadMap(options.positional[0].c_str());
  if (map.status == MapFileStatus::kLoaded && IsMidiFile(map.bytes)) {
    return RunWithOptions(options, &map, state);
  }
  return ClassicProgram(argumentCount, arguments, &map, state);
}

}  // namespace

int RunProgram(int argumentCount, const char* const* arguments, ProgramState& state) {
  // A file-size limit makes the write fail and take the usual error path
  // (cut back, temporary file removed, an error line) instead of killing us.
  std::signal(SIGXFSZ, SIG_IGN);
  Options options;
  std::string error;
  if (!ParseOptions(argumentCount, arguments, options, error)) return UsageError(error);
  const bool toStdout = options.positional.size() >= 2 && options.positional[1] == "-";
  if (!options.given && !toStdout) {
    return WithoutOptions(options, argumentCount, arguments, state);
  }
  if (options.help) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(VersionText().c_str(), stdout);
    return 0;
  }
  if (!CheckOptions(options, error)) return UsageError(error);
  return RunWithOptions(options, nullptr, state);
}

}  // namespace beatmarks
