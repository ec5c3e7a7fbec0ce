// The picture of a map of 100,000 tempo steps, a meter change every 100 and
// a million measures (goal: under 10 ms, the file under 100 kB).
#include <benchmark/benchmark.h>

#include "picture/tempo_picture.h"

namespace beatmarks {
namespace {

TempoPicture Crowded() {
  TempoPicture p;
  for (int i = 0; i < 100000; ++i) {
    p.steps.push_back({i * 0.01, 60 + (i % 1000) * 0.1});
    if (i % 100 == 0) p.meters.push_back({i * 0.01, i % 200 ? "7/8" : "4/4"});
  }
  p.end = 1000;
  p.measureCount = 1'000'000;
  p.measureTime = [](std::int64_t k) { return k * 1e-3; };
  p.title = "crowded.tmap";
  return p;
}

void BM_TempoPicture(benchmark::State& bench) {
  static const TempoPicture picture = Crowded();
  std::string svg;
  for (auto _ : bench) {
    svg.clear();
    WriteTempoSvg(picture, svg);
    benchmark::DoNotOptimize(svg.data());
  }
  bench.counters["bytes"] = double(svg.size());
}

BENCHMARK(BM_TempoPicture)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace beatmarks
