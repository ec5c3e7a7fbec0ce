#include "core/program_state.h"

#include <algorithm>

namespace beatmarks {

ProgramState::ProgramState() {
  tempo.fill(120.0f);
  beatsPerMeasure.fill(4);
  measures.fill(0);
  command[0] = '0';
}

void ApplyStopDefault(std::int32_t& stopMeasure, std::int64_t totalMeasures) {
  if (stopMeasure == 0) {
    stopMeasure = static_cast<std::int32_t>(std::clamp<std::int64_t>(totalMeasures, INT32_MIN, INT32_MAX));
  }
}

MapRef MapOf(ProgramState& s) {
  return {s.sectionCount, s.totalMeasures, s.totalBeats, s.tempo, s.beatsPerMeasure, s.measures,
          &s.tempoText, &s.sectionName};
}

SettingsRef SettingsOf(ProgramState& s) {
  return {s.sampleRate, s.divisions, s.startMeasure, s.stopMeasure};
}

}  // namespace beatmarks
