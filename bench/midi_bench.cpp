// Reading a MIDI file of about 1 MB with 100,000 tempo changes and laying out
// its grid (goal: under 20 ms).
#include <benchmark/benchmark.h>

#include <string>

#include "midi/midi_grid.h"
#include "midi_bytes.h"

namespace beatmarks {
namespace {

// A conductor track with a tempo every 48 ticks and 3/4 every 64 measures,
// and a second track of notes in running status, about 1 MB in all.
std::string TempoFlood() {
  testing::TrackBytes conductor, notes;
  for (std::uint32_t i = 0; i < 100000; ++i) {
    if (i % 384 == 0) conductor.Meter(i == 0 ? 0 : 48, 3, 2, 24).Tempo(0, 400000 + i % 1000);
    else conductor.Tempo(48, 400000 + i % 1000);
    notes.Raw(48, i == 0 ? "\x90\x3C\x40" : "\x3C\x40");
  }
  return testing::MidiHeader(1, 2, 96) + conductor.End(48).Chunk() + notes.End(0).Chunk();
}

void BM_MidiReadAndGrid(benchmark::State& bench) {
  static const std::string file = TempoFlood();
  for (auto _ : bench) {
    std::string error;
    auto map = ReadMidi(file, error);
    auto grid = map ? BuildGrid(*map, BeatUnit::kDenominator, error) : std::nullopt;
    if (!grid) bench.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(grid);
  }
  bench.counters["bytes"] = double(file.size());
}

BENCHMARK(BM_MidiReadAndGrid)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace beatmarks
