// Any bytes read as a MIDI file, then the grid in each beat unit and the
// times of divisions at its start and end.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/midi_grid.h"

namespace {

void WalkFrom(const beatmarks::MidiGrid& grid, std::uint32_t divisions, std::uint32_t measure) {
  beatmarks::DivisionCursor cursor(grid, divisions, measure);
  beatmarks::GridDivision d;
  for (int i = 0; i < 200 && cursor.Next(d); ++i) {
    beatmarks::ScaledFloor(beatmarks::TimeAt(grid, d.tick), 192000);
  }
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
    WalkFrom(*grid, divisions, 1);
    WalkFrom(*grid, divisions, grid->measureCount);
    WalkFrom(*grid, 0xFFFFFFFF, grid->measureCount);
  }
  return 0;
}
