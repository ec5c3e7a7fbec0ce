#include "core/section_walk.h"

namespace beatmarks {

void WalkStretches(Timeline& timeline, StretchTimes times,
                   const std::function<bool(Stretch&, Timeline&)>& visit) {
  for (Stretch s; timeline.Next(s);) {
    if (times == StretchTimes::kEvery) timeline.AddTimes(s);
    if (!visit(s, timeline)) return;
  }
}

std::vector<std::pair<Rational, std::string>> NamedSections(Timeline& timeline) {
  std::vector<std::pair<Rational, std::string>> sections;
  const std::string* last = nullptr;
  bool named = false, timed = true;
  WalkStretches(timeline, StretchTimes::kAsked, [&](Stretch& st, Timeline& t) {
    if (st.divisions == 0) return true;
    const bool text = st.source == StretchSource::kTextMap;
    if (!text && !sections.empty() && (st.name == nullptr || st.name == last)) return true;
    t.AddTimes(st);
    if (!st.time) return timed = false;
    sections.emplace_back(st.Start(), text || st.name != nullptr ? st.Label() : "");
    named = named || text || st.name != nullptr;
    last = st.name;
    return true;
  });
  return named && timed ? sections : decltype(sections){};
}

}  // namespace beatmarks
