// The cost of a line: the classic list (running sum, fixed buffer) against the
// exact list and the exact point formats, on the same map, in one run.
#include <benchmark/benchmark.h>

#include "classic/display.h"
#include "core/program_state.h"
#include "tmap/text_map_timeline.h"
#include "files/export_file.h"
#include "formats/list_format.h"
#include "formats/point_formats.h"
#include "formats/stream_text.h"

namespace beatmarks {
namespace {

// 97.3333 bpm in 4/4, 4 divisions: 640 lines fit the classic list's buffer.
constexpr std::int32_t kMeasures = 40, kDivisions = 4;
constexpr std::int64_t kLines = std::int64_t{kMeasures} * 4 * kDivisions;

ProgramState& Map() {
  static ProgramState state;
  state.sectionCount = 1;
  state.tempo[0] = 97.3333f;
  state.beatsPerMeasure[0] = 4;
  state.measures[0] = kMeasures;
  return state;
}

void Lines(benchmark::State& bench) {
  bench.counters["ns/line"] = benchmark::Counter(
      static_cast<double>(kLines) * static_cast<double>(bench.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ClassicList(benchmark::State& bench) {
  ProgramState& s = Map();
  bool cut = false;
  for (auto _ : bench) {
    Display(1, s.tempo, s.measures, s.beatsPerMeasure, 48000, 0, kMeasures - 1, kDivisions,
            s.outText, cut);
    benchmark::DoNotOptimize(s.outText.data());
  }
  Lines(bench);
}

template <class Write>
void Exact(benchmark::State& bench, Write write) {
  ProgramState& s = Map();
  for (auto _ : bench) {
    ExportFile out;
    out.Open("/dev/null", WriteMode::kReplace);
    TextMapTimeline timeline({1, s.tempo, s.beatsPerMeasure, s.measures}, kDivisions, Rational());
    write(out, timeline);
    out.Finish();
  }
  Lines(bench);
}

void BM_ExactList(benchmark::State& bench) {
  Exact(bench, [](ExportFile& out, Timeline& timeline) {
    StreamText text(out);
    ListSink<StreamText> list(text, 48000, kDivisions, ListTimes::kExact);
    WalkBeats(timeline, 0, kMeasures - 1, kDivisions, list);
  });
}

void BM_Csv(benchmark::State& bench) {
  Exact(bench, [](ExportFile& out, Timeline& timeline) {
    PointSink csv(out, PointSink::Kind::kCsv, 48000, kDivisions);
    WalkBeats(timeline, 0, kMeasures - 1, kDivisions, csv);
  });
}

BENCHMARK(BM_ClassicList);
BENCHMARK(BM_ExactList);
BENCHMARK(BM_Csv);

}  // namespace
}  // namespace beatmarks
