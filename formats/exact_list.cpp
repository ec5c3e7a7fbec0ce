#include "formats/exact_list.h"

#include "formats/list_format.h"
#include "formats/stream_text.h"

namespace beatmarks {

void WriteExactList(const WalkPlan& plan, ExportFile& out) {
  StreamText text(out);
  ListSink<StreamText> list(text, static_cast<std::int32_t>(plan.rate), plan.divisions,
                            ListTimes::kExact);
  list.WriteRateBlock();
  plan.Walk(list);
}

}  // namespace beatmarks
