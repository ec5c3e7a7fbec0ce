#include "core/beat_walk.h"

#include "core/beat_walk_loop.h"

namespace beatmarks {

std::string Stretch::Label() const {
  return name != nullptr ? *name : "Section " + std::to_string(number);
}

Rational Stretch::Start() const { return changeTime ? *changeTime : time->At(0); }

void WalkBeats(Timeline& timeline, std::int64_t start, std::int64_t stop,
               std::int32_t divisions, BeatSink& sink, DivisionCount skip) {
  WalkBeatsInto(timeline, start, stop, divisions, sink, skip);
}

}  // namespace beatmarks
