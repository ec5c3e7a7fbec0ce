#include "core/map_check.h"

#include <cmath>

namespace beatmarks {
namespace {

std::string InSection(const char* what, int section) {
  return std::string("Error: ") + what + " (section " + std::to_string(section) + ")";
}

}  // namespace

int SectionsInUse(std::int32_t sectionCount, CountArray& measures, std::int32_t stopMeasure) {
  if (sectionCount > 0) return sectionCount > N ? N : sectionCount;
  measures[0] = static_cast<std::int32_t>(static_cast<std::uint32_t>(stopMeasure) + 1u);
  return 1;
}

std::string WalkProblem(const SectionTable& s, std::int32_t divisions) {
  if (divisions < 1) return "Error: Divisions per beat must be greater than zero!";
  for (int i = 0; i < s.count; ++i) {
    if (s.tempo[i] <= 0.0) return InSection("Tempo must be greater than zero!", i + 1);
    if (!std::isfinite(s.tempo[i])) return InSection("Tempo must be a finite number!", i + 1);
    if (s.measures[i] >= 1 && s.beatsPerMeasure[i] < 1) {
      return InSection("Beats per measure must be greater than zero!", i + 1);
    }
  }
  return {};
}

}  // namespace beatmarks
