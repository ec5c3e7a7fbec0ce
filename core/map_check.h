#pragma once

#include <cstdint>
#include <string>

#include "core/program_state.h"

namespace beatmarks {

// Sections in use: the map's, or without a map (sectionCount 0) the first
// entry alone, which then gets stopMeasure + 1 measures so that the piece
// reaches the stop.
int SectionsInUse(std::int32_t sectionCount, CountArray& measures, std::int32_t stopMeasure);

// Why the map cannot be walked, as the line to show: a tempo not above zero
// or not finite, fewer than one beat per measure where there are measures,
// fewer than one division. The first problem in walk order; empty when the
// map can be walked.
std::string WalkProblem(const SectionTable& sections, std::int32_t divisions);

}  // namespace beatmarks
