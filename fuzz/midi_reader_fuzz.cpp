// Any bytes read as a MIDI file, then the grid in each beat unit, the times
// of divisions at its start and end, the timeline of stretches that the beat
// walk takes (a bounded number of divisions from the first and the last
// measure), and the console's sections.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/beat_walk.h"
#include "midi/midi_grid.h"
#include "midi/midi_sections.h"
#include "midi/midi_timeline.h"

namespace {

// Takes a few hundred divisions with their exact times, then is full.
class Bounded : public beatmarks::BeatSink {
 public:
  void Pass(const beatmarks::Stretch&, beatmarks::DivisionCount) override {}
  void Division(const beatmarks::BeatEvent& e) override {
    ++taken_;
    e.stretch.time->Sample(e.index, 192000);
  }
  void MeasureEnd(std::int64_t) override {}
  bool Full() const override { return taken_ >= 300; }

 private:
  int taken_ = 0;
};

void WalkStretches(const beatmarks::MidiGrid& grid, std::int32_t divisions, std::int64_t from) {
  beatmarks::MidiTimeline timeline(grid, divisions, beatmarks::Rational(1));
  Bounded sink;
  beatmarks::WalkBeats(timeline, from, INT64_MAX, divisions, sink);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace beatmarks;
  std::string error;
  auto map = ReadMidi(std::string_view(reinterpret_cast<const char*>(data), size), error);
  if (!map) return 0;
  for (BeatUnit unit : {BeatUnit::kDenominator, BeatUnit::kQuarter, BeatUnit::kClick}) {
    auto grid = BuildGrid(*map, unit, error);
    if (!grid) continue;
    std::uint32_t divisions = 1 + size % 7;
    WalkStretches(*grid, static_cast<std::int32_t>(divisions), 0);
    WalkStretches(*grid, static_cast<std::int32_t>(divisions), grid->measureCount - 1);
  }
  static beatmarks::ProgramState state;
  MidiToSections(std::string_view(reinterpret_cast<const char*>(data), size), MapOf(state),
                 error);
  return 0;
}
