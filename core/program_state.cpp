#include "core/program_state.h"

namespace beatmarks {

ProgramState::ProgramState() {
  tempo.fill(120.0f);
  beatsPerMeasure.fill(4);
  measures.fill(0);
  command[0] = '0';
}

void ApplyStopDefault(std::int32_t& stopMeasure, std::int32_t totalMeasures) {
  if (stopMeasure == 0) stopMeasure = totalMeasures;
}

}  // namespace beatmarks
