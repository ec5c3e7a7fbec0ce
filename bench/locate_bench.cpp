// Placing a million times of a recording on a MIDI map's grid of 100,000
// tempo changes (goal: under a second for the whole run: the index, the
// reading, the placing and the CSV rows).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "files/export_file.h"
#include "locate/grid_index.h"
#include "locate/located_formats.h"
#include "midi/midi_grid.h"
#include "midi/midi_timeline.h"

namespace beatmarks {
namespace {

// The grids here are all buildable; a failure shows as an empty optional.
std::string& BuildError() {
  static std::string error;
  return error;
}


constexpr std::uint64_t kChanges = 100000;
constexpr int kTimes = 1000000;

// A tempo every 48 ticks (half a beat: with two divisions a beat every
// division is a stretch of its own, and every beat spans two), the meter
// changing between 4/4 and 3/4 every 384 tempos.
const MidiGrid& Grid() {
  static const MidiGrid grid = [] {
    MidiMap map{1, 96, {}, {}, kChanges * 48};
    for (std::uint64_t i = 0; i < kChanges; ++i) {
      map.tempos.push_back({i * 48, static_cast<std::uint32_t>(400000 + i % 1000)});
      if (i % 384 == 0) map.meters.push_back({i * 48, i % 768 == 0 ? 4 : 3, 2, 24});
    }
    std::string error;
    return *BuildGrid(map, BeatUnit::kDenominator, error);
  }();
  return grid;
}

// Times as a label track gives them: 6 decimals, anywhere in the map and a
// little beyond; in time order as audio editors write them, or in none (the
// worst case for the memory caches). Half of the divisions lie on half
// microseconds, and the deviations of times near them take exact settling.
const std::string& Times(bool inOrder) {
  static const auto make = [](bool sorted) {
    std::mt19937_64 rng(1);
    std::vector<std::uint64_t> micros(kTimes);
    for (std::uint64_t& t : micros) t = rng() % 21000000000;  // the map lasts about 20,000 s
    if (sorted) std::sort(micros.begin(), micros.end());
    std::string text;
    for (const std::uint64_t t : micros) {
      char line[64];
      const int length = std::snprintf(line, sizeof line, "%llu.%06llu", t / 1000000ULL, t % 1000000ULL);
      text.append(line, static_cast<std::size_t>(length)).append("\t").append(line, static_cast<std::size_t>(length));
      text += "\tonset\n";
    }
    return text;
  };
  static const std::string sorted = make(true), shuffled = make(false);
  return inOrder ? sorted : shuffled;
}

void BM_LocateIndex(benchmark::State& bench) {
  Grid();
  for (auto _ : bench) {
    MidiTimeline timeline(Grid(), 2, Rational());
    benchmark::DoNotOptimize(*GridIndex::Build(timeline, 2, BuildError()));
  }
}

// Argument 1: the times in time order; 0: in no order.
void BM_LocateMillionTimes(benchmark::State& bench) {
  const std::string& times = Times(bench.range(0) == 1);
  Grid();
  for (auto _ : bench) {
    MidiTimeline timeline(Grid(), 2, Rational());
    const GridIndex grid = *GridIndex::Build(timeline, 2, BuildError());
    ExportFile out;
    out.Open("/dev/null", WriteMode::kReplace);
    std::string error;
    if (!WriteLocated(LocatedFormat::kCsv, times, grid, {48000, Rational(), 1}, out, error)) {
      bench.SkipWithError(error.c_str());
    }
    out.Finish();
  }
  bench.counters["ns/time"] = benchmark::Counter(
      static_cast<double>(kTimes) * static_cast<double>(bench.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_LocateIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateMillionTimes)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace beatmarks
