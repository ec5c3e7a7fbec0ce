// Correctly rounded times: the per-line cost of an export (a sample position
// and the seconds), and what a time too close to a rounding boundary costs.
#include <benchmark/benchmark.h>

#include <string>

#include "exact/exact_time.h"

namespace beatmarks {
namespace {

constexpr std::uint32_t kRate = 48000;

// Division n of a section that starts after 0.1 s and two others, at 97.3333
// beats a minute, 4 divisions a beat.
LinearTime OrdinarySection() {
  Rational base = *Rational::FromDecimal("0.1");
  base += Rational(60 * 4 * 32) / Rational::FromFloat(144.6f);
  base += Rational(60 * 3 * 16) / Rational::FromFloat(152.0f);
  return LinearTime(base, Rational(60) / Rational::FromFloat(97.3333f) / Rational(4));
}

// The start of a section after 510 of random-looking tempos: a denominator
// of thousands of bits for the exact way.
Rational LongMapStart() {
  Rational base;
  for (int i = 0; i < 510; ++i) {
    base += Rational(4 * 1000) * Rational(60) / Rational::FromFloat(60.0f + static_cast<float>(i) * 0.37f);
  }
  return base;
}

void Lines(benchmark::State& bench, const LinearTime& times, int decimals) {
  std::string out;
  out.reserve(1 << 16);
  unsigned __int128 n = 1000;
  for (auto _ : bench) {
    if (out.size() > (1 << 16) - 64) out.clear();
    std::int64_t sample = times.Sample(n, kRate);
    times.AppendSeconds(n, decimals, out);
    benchmark::DoNotOptimize(sample);
    ++n;
  }
  bench.SetItemsProcessed(bench.iterations());
}

void BM_LineSampleAndSeconds9(benchmark::State& bench) { Lines(bench, OrdinarySection(), 9); }
void BM_LineSampleAndSeconds6(benchmark::State& bench) { Lines(bench, OrdinarySection(), 6); }

void BM_Nearest(benchmark::State& bench) {
  const LinearTime times = OrdinarySection();
  unsigned __int128 n = 1000;
  for (auto _ : bench) benchmark::DoNotOptimize(times.Nearest(n++));
  bench.SetItemsProcessed(bench.iterations());
}

// Every sample position an exact half (rate x time = n + 1/2 with base and
// step not binary fractions), so each one takes the exact way.
void BM_SampleOnHalves(benchmark::State& bench) {
  const LinearTime times(Rational(1) / Rational(2 * kRate), Rational(1) / Rational(kRate));
  unsigned __int128 n = 1000;
  for (auto _ : bench) benchmark::DoNotOptimize(times.Sample(n++, kRate));
  bench.SetItemsProcessed(bench.iterations());
}

// Every ninth decimal an exact half: the exact way with the text built from it.
void BM_SecondsOnHalves(benchmark::State& bench) {
  const Rational nano = Rational(1) / Rational(1000000000);
  const LinearTime times(nano / Rational(2), nano * Rational(3));
  std::string out;
  unsigned __int128 n = 1000;
  for (auto _ : bench) {
    out.clear();
    times.AppendSeconds(n++, 9, out);
  }
  bench.SetItemsProcessed(bench.iterations());
}

// The exact way with a denominator of thousands of bits: every division a
// hair (far below the fast bound) past a half sample.
void BM_SampleNearHalvesLongMap(benchmark::State& bench) {
  const Rational step = Rational(1) / Rational(kRate);
  const Rational hair = LongMapStart() / Rational(BigInt::PowerOfTen(40), BigInt(1));
  const LinearTime times(step / Rational(2) + hair, step);
  unsigned __int128 n = 1000;
  for (auto _ : bench) benchmark::DoNotOptimize(times.Sample(n++, kRate));
  bench.SetItemsProcessed(bench.iterations());
}

void BM_ConstructLongMapSection(benchmark::State& bench) {
  const Rational start = LongMapStart();
  const Rational step = Rational(60) / Rational::FromFloat(97.3333f) / Rational(4);
  for (auto _ : bench) benchmark::DoNotOptimize(LinearTime(start, step));
}

BENCHMARK(BM_LineSampleAndSeconds9);
BENCHMARK(BM_LineSampleAndSeconds6);
BENCHMARK(BM_Nearest);
BENCHMARK(BM_SampleOnHalves);
BENCHMARK(BM_SecondsOnHalves);
BENCHMARK(BM_SampleNearHalvesLongMap);
BENCHMARK(BM_ConstructLongMapSection);

}  // namespace
}  // namespace beatmarks
