#include "reference_display.h"

#include <cinttypes>
#include <cstdio>

namespace beatmarks::testing {
namespace {

struct Text {
  ReferenceList list;
  void Add(const std::string& fragment) {
    if (list.cut) return;
    if (list.text.size() + fragment.size() > 65535) {
      list.cut = true;
      list.text.erase(list.text.rfind('\n') + 1);
      return;
    }
    list.text += fragment;
  }
};

template <class... Args>
std::string Format(const char* format, Args... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

}  // namespace

ReferenceList ReferenceDisplay(std::vector<ReferenceSection> sections, std::int32_t sampleRate,
                               std::int32_t startMeasure, std::int32_t stopMeasure,
                               std::int32_t divisions) {
  if (sections.empty()) {
    sections.push_back({120.0f, 4, static_cast<std::int32_t>(static_cast<std::uint32_t>(stopMeasure) + 1u)});
  }
  Text text;
  text.list.text = Format("\nSample Rate\t%i\n", sampleRate);
  auto inRange = [&](std::int64_t j) { return startMeasure <= j && j <= stopMeasure; };
  double t = 0.0;
  bool first = true;
  std::int64_t j = 0;
  std::int32_t b = 0, d = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const ReferenceSection& s = sections[i];
    const double step = (60.0 / static_cast<double>(s.tempo)) / divisions;
    if (s.measures <= 0) continue;
    for (std::int32_t k = 0; k < s.measures;) {
      if (inRange(j)) {
        if (first || (k == 0 && b == 0 && d == 0)) {
          text.Add(Format("\nSection %i\tTempo %.3f\tBeats/Meas %i\tMeasures %i\n\n",
                          static_cast<int>(i + 1), static_cast<double>(s.tempo),
                          s.beatsPerMeasure, s.measures));
        }
        text.Add(b == 0 && d == 0 ? Format("M %" PRId64 "\t", j + 1) : "\t");
        text.Add(d == 0 ? Format("B %i\t", b + 1) : "\t");
        double product = static_cast<double>(static_cast<std::uint32_t>(sampleRate)) * t;
        std::int64_t sample = product < 9223372036854775808.0 ? static_cast<std::int64_t>(product)
                                                               : INT64_MAX;
        text.Add(Format("%.3f sec\t%" PRId64 " smp\n", t, sample));
        first = false;
      }
      t = t + step;
      if (++d == divisions) {
        ++b;
        d = 0;
      }
      if (b == s.beatsPerMeasure) {
        ++j;
        if (inRange(j)) text.Add("\n");
        ++k;
        b = 0;
      }
    }
  }
  return text.list;
}

void LoadSections(const std::vector<ReferenceSection>& sections, ProgramState& state) {
  state.sectionCount = static_cast<std::int32_t>(sections.size());
  state.tempo[0] = 120.0f;
  state.beatsPerMeasure[0] = 4;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    state.tempo[i] = sections[i].tempo;
    state.beatsPerMeasure[i] = sections[i].beatsPerMeasure;
    state.measures[i] = sections[i].measures;
  }
}

double ReferenceAdvance(double t, double step, std::uint64_t count) {
  for (std::uint64_t i = 0; i < count; ++i) t = t + step;
  return t;
}

}  // namespace beatmarks::testing
