// Cost of building the list for typical and long tempo maps.
#include <benchmark/benchmark.h>

#include "core/display.h"
#include "core/program_state.h"

namespace beatmarks {
namespace {

// The two help examples (48 measures), the whole range, 4 divisions a beat.
void BM_DisplayHelpExamples(benchmark::State& bench) {
  static ProgramState state;
  state.sectionCount = 2;
  state.tempo[0] = 144.6f;
  state.beatsPerMeasure[0] = 4;
  state.measures[0] = 32;
  state.tempo[1] = 152.0f;
  state.beatsPerMeasure[1] = 3;
  state.measures[1] = 16;
  bool cut = false;
  for (auto _ : bench) {
    Display(state.sectionCount, state.tempo, state.measures, state.beatsPerMeasure, 44100, 0,
            48, 4, state.outText, cut);
    benchmark::DoNotOptimize(state.outText.data());
  }
}
BENCHMARK(BM_DisplayHelpExamples);

// A long map where only the last measure is wanted: the walk to it dominates.
void BM_DisplayLastMeasureOfLongMap(benchmark::State& bench) {
  static ProgramState state;
  state.sectionCount = static_cast<std::int32_t>(bench.range(0));
  state.measures.fill(1000);
  const std::int32_t last = state.sectionCount * 1000 - 1;
  bool cut = false;
  for (auto _ : bench) {
    Display(state.sectionCount, state.tempo, state.measures, state.beatsPerMeasure, 44100,
            last, last, 16, state.outText, cut);
    benchmark::DoNotOptimize(state.outText.data());
  }
}
BENCHMARK(BM_DisplayLastMeasureOfLongMap)->Arg(1)->Arg(16);

}  // namespace
}  // namespace beatmarks
