#include "classic/display.h"

#include <algorithm>

#include "core/map_check.h"
#include "tmap/text_map_timeline.h"
#include "formats/list_format.h"
#include "formats/text_builder.h"
#include "terminal/output.h"

namespace beatmarks {

bool Display(std::int32_t sectionCount, const TempoArray& tempo, CountArray& measures,
             const CountArray& beatsPerMeasure, std::int32_t sampleRate,
             std::int64_t startMeasure, std::int64_t stopMeasure, std::int32_t divisions,
             TextBuffer& outText, bool& textCut) {
  const auto stop32 = static_cast<std::int32_t>(std::clamp<std::int64_t>(stopMeasure, INT32_MIN, INT32_MAX));
  const SectionTable sections{SectionsInUse(sectionCount, measures, stop32), tempo,
                              beatsPerMeasure, measures};
  if (std::string problem = WalkProblem(sections, divisions); !problem.empty()) {
    PrintLine(problem);
    return false;
  }

  TextBuilder text(outText);
  ListSink<TextBuilder> list(text, sampleRate, divisions, ListTimes::kRunningSum);
  list.WriteRateBlock();
  TextMapTimeline timeline(sections, divisions, std::nullopt);
  WalkBeats(timeline, startMeasure, stopMeasure, divisions, list);
  textCut = text.cut();
  return true;
}

}  // namespace beatmarks
