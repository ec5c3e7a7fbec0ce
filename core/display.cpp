#include "core/display.h"

#include "core/list_format.h"
#include "core/map_check.h"
#include "core/text_builder.h"
#include "core/text_map_timeline.h"

namespace beatmarks {

void Display(std::int32_t sectionCount, const TempoArray& tempo, CountArray& measures,
             const CountArray& beatsPerMeasure, std::int32_t sampleRate,
             std::int32_t startMeasure, std::int32_t stopMeasure, std::int32_t divisions,
             TextBuffer& outText, bool& textCut) {
  const int count = SectionsInUse(sectionCount, measures, stopMeasure);
  CheckWalkable(count, tempo, beatsPerMeasure, measures, divisions);

  TextBuilder text(outText);
  ListSink<TextBuilder> list(text, sampleRate, divisions, ListTimes::kRunningSum);
  list.WriteRateBlock();
  TextMapTimeline timeline(count, tempo, beatsPerMeasure, measures, divisions, std::nullopt);
  WalkBeats(timeline, startMeasure, stopMeasure, divisions, list);
  textCut = text.cut();
}

}  // namespace beatmarks
