#include "core/map_check.h"

#include <cmath>

#include "core/end_program.h"
#include "core/output.h"

namespace beatmarks {
namespace {

[[noreturn]] void FailSection(const char* format, int section) {
  Print(format, section);
  EndProgram(1);
}

}  // namespace

int SectionsInUse(std::int32_t sectionCount, CountArray& measures, std::int32_t stopMeasure) {
  if (sectionCount > 0) return sectionCount > N ? N : sectionCount;
  measures[0] = static_cast<std::int32_t>(static_cast<std::uint32_t>(stopMeasure) + 1u);
  return 1;
}

void CheckWalkable(int count, const TempoArray& tempo, const CountArray& beatsPerMeasure,
                   const CountArray& measures, std::int32_t divisions) {
  if (divisions < 1) {
    Print("Error: Divisions per beat must be greater than zero!\n");
    EndProgram(1);
  }
  for (int i = 0; i < count; ++i) {
    if (tempo[i] <= 0.0) FailSection("Error: Tempo must be greater than zero! (section %i)\n", i + 1);
    if (!std::isfinite(tempo[i])) {
      FailSection("Error: Tempo must be a finite number! (section %i)\n", i + 1);
    }
    if (measures[i] >= 1 && beatsPerMeasure[i] < 1) {
      FailSection("Error: Beats per measure must be greater than zero! (section %i)\n", i + 1);
    }
  }
}

}  // namespace beatmarks
