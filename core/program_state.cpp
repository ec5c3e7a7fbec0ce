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

}  // namespace beatmarks
