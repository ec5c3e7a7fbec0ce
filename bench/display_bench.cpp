// The list generator against the plain walk of every division (snprintf per
// fragment), side by side: compare the pairs' times in one run.
#include <benchmark/benchmark.h>

#include <vector>

#include "classic/display.h"
#include "core/program_state.h"
#include "reference_display.h"

namespace beatmarks {
namespace {

using testing::ReferenceSection;

struct Workload {
  std::vector<ReferenceSection> sections;
  std::int32_t start, stop, divisions;
};

// The two help examples (48 measures), the whole range, 4 divisions a beat.
Workload HelpExamples() { return {{{144.6f, 4, 32}, {152.0f, 3, 16}}, 0, 47, 4}; }

// 510 sections of `measures` measures in 4/4 at 16 divisions; only the last
// measure is listed.
Workload LongMap(std::int32_t measures) {
  Workload w{std::vector<ReferenceSection>(510, {120.0f, 4, measures}), 0, 0, 16};
  for (std::size_t i = 0; i < w.sections.size(); ++i) w.sections[i].tempo = 60.0f + i % 97;
  std::int64_t last = 510LL * measures - 1;
  w.start = w.stop = last > INT32_MAX - 1 ? INT32_MAX - 1 : static_cast<std::int32_t>(last);
  return w;
}

void RunGenerator(benchmark::State& bench, const Workload& w) {
  static ProgramState state;
  testing::LoadSections(w.sections, state);
  bool cut = false;
  for (auto _ : bench) {
    Display(state.sectionCount, state.tempo, state.measures, state.beatsPerMeasure, 44100,
            w.start, w.stop, w.divisions, state.outText, cut);
    benchmark::DoNotOptimize(state.outText.data());
  }
}

void RunPlainWalk(benchmark::State& bench, const Workload& w) {
  for (auto _ : bench) {
    auto list = testing::ReferenceDisplay(w.sections, 44100, w.start, w.stop, w.divisions);
    benchmark::DoNotOptimize(list.text.data());
  }
}

void BM_HelpExamples_Generator(benchmark::State& s) { RunGenerator(s, HelpExamples()); }
void BM_HelpExamples_PlainWalk(benchmark::State& s) { RunPlainWalk(s, HelpExamples()); }
void BM_LongMapLastMeasure_Generator(benchmark::State& s) { RunGenerator(s, LongMap(10000)); }
void BM_LongMapLastMeasure_PlainWalk(benchmark::State& s) { RunPlainWalk(s, LongMap(10000)); }
void BM_HugeMapLastMeasure_Generator(benchmark::State& s) { RunGenerator(s, LongMap(INT32_MAX)); }

BENCHMARK(BM_HelpExamples_Generator);
BENCHMARK(BM_HelpExamples_PlainWalk);
BENCHMARK(BM_LongMapLastMeasure_Generator);
BENCHMARK(BM_LongMapLastMeasure_PlainWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HugeMapLastMeasure_Generator);

}  // namespace
}  // namespace beatmarks
