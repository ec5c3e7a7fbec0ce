#pragma once

#include <cstdint>

#include "core/program_state.h"

namespace beatmarks {

// Sections in use: the map's, or without a map (sectionCount 0) the first
// entry alone, which then gets stopMeasure + 1 measures so that the piece
// reaches the stop.
int SectionsInUse(std::int32_t sectionCount, CountArray& measures, std::int32_t stopMeasure);

// Every section that can be walked: a tempo above zero and finite, at least
// one beat per measure where there are measures, at least one division. The
// first failure in walk order is printed and ends the program with status 1,
// before any text is made.
void CheckWalkable(int count, const TempoArray& tempo, const CountArray& beatsPerMeasure,
                   const CountArray& measures, std::int32_t divisions);

}  // namespace beatmarks
