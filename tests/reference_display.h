#pragma once

// The list generator as the plain walk of every division, one addition at a
// time, formatting each fragment with snprintf: the reference that the fast
// generator must match byte for byte. It assumes settings that pass the
// generator's checks.

#include <cstdint>
#include <string>
#include <vector>

#include "core/program_state.h"

namespace beatmarks::testing {

struct ReferenceSection {
  float tempo;
  std::int32_t beatsPerMeasure;
  std::int32_t measures;
};

struct ReferenceList {
  std::string text;
  bool cut = false;
};

ReferenceList ReferenceDisplay(std::vector<ReferenceSection> sections, std::int32_t sampleRate,
                               std::int32_t startMeasure, std::int32_t stopMeasure,
                               std::int32_t divisions);

// Puts the sections in the state's tempo map (the default section when there
// are none).
void LoadSections(const std::vector<ReferenceSection>& sections, ProgramState& state);

// The running time after `count` additions of `step`, one by one.
double ReferenceAdvance(double t, double step, std::uint64_t count);

}  // namespace beatmarks::testing
