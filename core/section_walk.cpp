#include "core/section_walk.h"

namespace beatmarks {

void WalkStretches(Timeline& timeline, StretchTimes times,
                   const std::function<bool(Stretch&, Timeline&)>& visit) {
  for (Stretch s; timeline.Next(s);) {
    if (times == StretchTimes::kEvery) timeline.AddTimes(s);
    if (!visit(s, timeline)) return;
  }
}

void NamedSectionWalk::Visit(Stretch& st, Timeline& t) {
  if (!timed_ || st.divisions == 0) return;
  const bool text = st.source == StretchSource::kTextMap;
  if (!text && !sections_.empty() && (st.name == nullptr || st.name == last_)) return;
  t.AddTimes(st);
  if (!st.time) {
    timed_ = false;
    return;
  }
  sections_.emplace_back(st.Start(), text || st.name != nullptr ? st.Label() : "");
  named_ = named_ || text || st.name != nullptr;
  last_ = st.name;
}

}  // namespace beatmarks
