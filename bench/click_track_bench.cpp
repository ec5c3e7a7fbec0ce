// Ten minutes of a 48 kHz click track at 120 beats a minute in 4/4 with four
// divisions a beat: the clicks alone, and whole files written to disk.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "audio/audio_file.h"
#include "audio/click_synth.h"

namespace beatmarks {
namespace {

constexpr std::int32_t kRate = 48000;
constexpr std::int64_t kFrames = 10LL * 60 * kRate;

std::vector<BeatMark> TenMinutes() {
  std::vector<BeatMark> marks;
  const std::int64_t division = kRate / 2 / 4;
  for (std::int64_t i = 0; i * division < kFrames; ++i) {
    auto beat = static_cast<std::int32_t>(i / 4 % 4 + 1);
    MarkKind kind = i % 4 ? MarkKind::kDivision : beat == 1 ? MarkKind::kDownbeat : MarkKind::kBeat;
    marks.push_back({i * division, static_cast<std::int32_t>(i / 16 + 1), beat, kind});
  }
  return marks;
}

void BM_TenMinutesRendered(benchmark::State& state) {
  auto marks = TenMinutes();
  std::vector<std::int32_t> block(8192);
  for (auto _ : state) {
    ClickSynth synth(kRate, 24);
    for (std::int64_t frame = 0; frame < kFrames; frame += static_cast<std::int64_t>(block.size())) {
      synth.Render(marks, frame, block);
      benchmark::DoNotOptimize(block.data());
    }
  }
}

void WriteFile(benchmark::State& state, const char* suffix, SampleFormat format) {
  auto marks = TenMinutes();
  std::string name = std::string("/tmp/beatmarks-bench-XXXXXX") + suffix;
  int fd = ::mkstemps(name.data(), static_cast<int>(std::string(suffix).size()));
  if (fd < 0) std::abort();
  for (auto _ : state) {
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) std::abort();
    SpanMarks source(marks);
    AudioOutcome outcome = WriteClickTrack(fd, name.c_str(), {kRate, kFrames, format}, source);
    if (!outcome.ok) state.SkipWithError(outcome.error.c_str());
  }
  ::close(fd);
  ::unlink(name.c_str());
}

void BM_TenMinutesWav24(benchmark::State& state) { WriteFile(state, ".wav", SampleFormat::kPcm24); }
void BM_TenMinutesWavFloat(benchmark::State& state) { WriteFile(state, ".wav", SampleFormat::kFloat); }
void BM_TenMinutesFlac24(benchmark::State& state) { WriteFile(state, ".flac", SampleFormat::kPcm24); }

BENCHMARK(BM_TenMinutesRendered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TenMinutesWav24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TenMinutesWavFloat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TenMinutesFlac24)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace beatmarks
