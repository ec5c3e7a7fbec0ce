#include "console/command_loop.h"

#include <cstring>

#include "classic/display.h"
#include "classic/read_map.h"
#include "classic/write_data.h"
#include "console/command_list.h"
#include "console/end_program.h"
#include "console/help.h"
#include "console/prompt_number.h"
#include "console/range_check.h"
#include "core/number_scan.h"
#include "terminal/input.h"
#include "terminal/output.h"
#include "terminal/prompt_name.h"

namespace beatmarks {
namespace {

bool Is(const CommandBuffer& command, const char* word) {
  return std::strcmp(command.data(), word) == 0;
}

// Reads the next command word; false at the end of input. A word too long for
// the buffer is no command: it is kept as the empty word, which never matches.
bool ReadCommand(CommandBuffer& command) {
  CommandBuffer word{};
  switch (ReadWord(TerminalInput(), word)) {
    case WordStatus::kEnded:
      return false;
    case WordStatus::kTooLong:
      command.fill('\0');
      return true;
    case WordStatus::kRead:
      command = word;
      return true;
  }
  return false;
}

void SetMeasure(const char* prompt, std::int32_t& measure) {
  if (std::optional<std::int32_t> value = PromptForInteger(prompt)) measure = MeasureIndex(*value);
}

// Counts below 1 would make the walk endless, so they are refused here.
void SetCount(const char* prompt, const char* refusal, std::int32_t& count) {
  std::optional<std::int32_t> value = PromptForInteger(prompt);
  if (!value) return;
  if (*value < 1) {
    PrintLine(refusal);
    return;
  }
  count = *value;
}

void SetTempo(float& tempo) {
  if (std::optional<float> value = PromptForDecimal("Enter tempo (beats per minute)\n")) {
    tempo = *value;
  }
}

// Range check and generation, shared by printing, writing and appending.
bool BuildList(ProgramState& s) {
  CheckRange(s.mapLoaded, s.totalBeats, s.beatsPerMeasure[0], s.startMeasure, s.stopMeasure);
  bool cut = false;
  if (!Display(s.sectionCount, s.tempo, s.measures, s.beatsPerMeasure, s.sampleRate,
               s.startMeasure, s.stopMeasure, s.divisions, s.outText, cut)) {
    EndProgram(1);  // a map that cannot be walked ends the session
  }
  return cut;
}

void PrintList(ProgramState& s) {
  bool cut = BuildList(s);
  PrintText(std::string_view(s.outText.data(), ::strnlen(s.outText.data(), s.outText.size())));
  if (cut) PrintLine(kCutWarning);
}

void SaveList(ProgramState& s, bool replace) {
  bool cut = BuildList(s);
  if (WriteData(s.outText, s.outFileName, false, replace) && cut) {
    PrintLine(kCutWarning);
  }
}

void ReadMapFile(ProgramState& s) {
  MapReadOutcome outcome =
      ReadMap(s.sectionCount, s.totalMeasures, s.totalBeats, s.tempo, s.measures,
              s.beatsPerMeasure, s.mapFileName, s.sampleRate, s.divisions, false,
              s.startMeasure, s.stopMeasure);
  if (outcome == MapReadOutcome::kNoFileName) return;
  s.mapLoaded = true;
  ApplyStopDefault(s.stopMeasure, s.totalMeasures);
}

void RunCommand(ProgramState& s) {
  if (s.command[0] == '\0' || s.command[1] != '\0') return;
  switch (s.command[0]) {
    case 'f': PromptForName("Enter filename to save to", s.outFileName); break;
    case 'i': SetMeasure("Enter start measure\n", s.startMeasure); break;
    case 'o': SetMeasure("Enter stop measure\n", s.stopMeasure); break;
    case 't': SetTempo(s.tempo[0]); break;
    case 'b':
      SetCount("Enter beats per measure\n",
               "Error: Beats per measure must be greater than zero!", s.beatsPerMeasure[0]);
      break;
    case 'r':
      if (auto rate = PromptForInteger("Enter sample rate (samples per second\n")) {
        s.sampleRate = *rate;
      }
      break;
    case 'd':
      SetCount("Enter divisions per beat\n",
               "Error: Divisions per beat must be greater than zero!", s.divisions);
      break;
    case 'p': PrintList(s); break;
    case 'm': ReadMapFile(s); break;
    case 'w': SaveList(s, true); break;
    case 'a': SaveList(s, false); break;
    case 'h': PrintHelp(); break;
    default: break;
  }
}

}  // namespace

void CommandLoop(ProgramState& s) {
  while (!Is(s.command, "q")) {
    bool listShown = s.showList;
    if (listShown) {
      PrintCommandList(s.sampleRate, s.tempo[0], s.beatsPerMeasure[0], s.startMeasure,
                       s.stopMeasure, s.divisions, s.outFileName);
    }
    if (!ReadCommand(s.command)) return;
    // 'l' turns the list off when it is shown, and on when it is not.
    bool toggle = Is(s.command, "l");
    s.showList = listShown ? !toggle : toggle;
    RunCommand(s);
  }
}

}  // namespace beatmarks
