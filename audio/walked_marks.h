#pragma once

#include <cstdint>
#include <vector>

#include "audio/mark_source.h"
#include "core/beat_walk.h"

namespace beatmarks {

// The beats and divisions of the measures start..stop (0-based) of a map, at
// their exact sample positions, taken from the beat walk a window at a time:
// memory stays flat however long the map and its measures, and the walk goes
// no further than the marks asked for.
class WalkedMarks final : public MarkSource {
 public:
  // `make` gives timelines with exact times.
  // Marker names number measures from `firstNumber` (1 unless a run says otherwise).
  WalkedMarks(TimelineMaker make, std::uint32_t rate, std::int64_t start, std::int64_t stop,
              std::int32_t divisions, std::int64_t firstNumber = 1);

  bool Next(BeatMark& mark) override;
  void Restart() override;
  // Beats of the range, counted from the divisions the walk passes.
  std::int64_t MarkerCount() override;

  // The frame where the range ends: after its last division, and never
  // before the frame after its last onset, so that every click and marker
  // lies inside a track of that length. 0 for an empty range.
  std::int64_t EndFrame();

 private:
  bool Fill();
  std::int64_t BeatsBefore(std::int64_t measure);
  std::int64_t BeatsThroughStop();
  DivisionCount DivisionsBefore(std::int64_t measure);

  TimelineMaker make_;
  const std::uint32_t rate_;
  const std::int64_t start_, stop_;
  const std::int32_t divisions_;
  const std::int64_t firstNumber_;
  std::int64_t next_ = 0;  // where the next window begins: a measure,
  DivisionCount skip_ = 0; // and divisions into it
  bool walked_ = false;    // the last window reached the end of the range
  std::vector<BeatMark> window_;
  std::size_t at_ = 0;
};

}  // namespace beatmarks
