#include "picture/listened_beats.h"

namespace beatmarks {
namespace {

// Walks the plan's beats, keeping the followed and placed ones and the last
// beat found after the last tapped one.
class ListenedSink final : public BeatSink {
 public:
  ListenedSink(const std::vector<OriginAt>* origins, TempoPicture& picture)
      : origins_(origins), picture_(picture) {}

  void Pass(const Stretch&, DivisionCount) override {}
  void MeasureEnd(std::int64_t) override {}
  void Division(const BeatEvent& e) override {
    if (e.division != 0) return;
    const BeatOrigin origin = origins_.At(e.measure, e.beat);
    const double time = e.stretch.time->Nearest(e.index);
    if (origin == BeatOrigin::kTapped || origin == BeatOrigin::kSnapped) {
      picture_.followedTo.reset();
      return;
    }
    if (origin != BeatOrigin::kFollowed && origin != BeatOrigin::kPlaced) return;
    picture_.listened.push_back({time, origin == BeatOrigin::kPlaced});
    picture_.followedTo = FollowMark{time, std::to_string(MeasureNumber(e.measure)) + "." +
                                               std::to_string(e.beat + 1)};
  }

 private:
  OriginCursor origins_;
  TempoPicture& picture_;
};

}  // namespace

void AddListenedBeats(const WalkPlan& plan, TempoPicture& picture) {
  if (!plan.origins) return;
  ListenedSink sink(plan.origins.get(), picture);
  plan.Walk(sink);
}

}  // namespace beatmarks
