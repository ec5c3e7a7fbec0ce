#include "core/beat_origin.h"

namespace beatmarks {

const char* OriginName(BeatOrigin origin) {
  switch (origin) {
    case BeatOrigin::kTapped: return "tapped";
    case BeatOrigin::kSnapped: return "snapped";
    case BeatOrigin::kFollowed: return "followed";
    case BeatOrigin::kPlaced: return "placed";
    case BeatOrigin::kHeard: return "heard";
    case BeatOrigin::kNone: break;
  }
  return "";
}

BeatOrigin OriginCursor::At(std::int64_t measure, std::int32_t beat) {
  if (origins_ == nullptr) return BeatOrigin::kNone;
  const std::vector<OriginAt>& list = *origins_;
  const auto before = [&](const OriginAt& o) {
    return o.measure < measure || (o.measure == measure && o.beat < beat);
  };
  while (next_ < list.size() && before(list[next_])) ++next_;
  if (next_ < list.size() && list[next_].measure == measure && list[next_].beat == beat) {
    return list[next_].origin;
  }
  return BeatOrigin::kNone;
}

}  // namespace beatmarks
