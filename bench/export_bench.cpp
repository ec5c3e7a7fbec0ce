// The cost of a line: the classic list (running sum, fixed buffer) against the
// exact list and the exact point formats, on the same map, in one run.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <vector>

#include "classic/display.h"
#include "core/program_state.h"
#include "core/walk_plan.h"
#include "tmap/text_map_timeline.h"
#include "files/export_file.h"
#include "formats/list_format.h"
#include "formats/point_formats.h"
#include "formats/stream_text.h"

namespace beatmarks {
namespace {

// 97.3333 bpm in 4/4, 4 divisions: 640 lines fit the classic list's buffer.
// The CSV and its floor also run 100 times as long, where a line's own cost
// outweighs opening and finishing the export.
constexpr std::int32_t kMeasures = 40, kDivisions = 4;

ProgramState& Map(std::int32_t measures = kMeasures) {
  static ProgramState state;
  state.sectionCount = 1;
  state.tempo[0] = 97.3333f;
  state.beatsPerMeasure[0] = 4;
  state.measures[0] = measures;
  return state;
}

void Lines(benchmark::State& bench, std::int32_t measures = kMeasures) {
  const double lines = static_cast<double>(measures) * 4 * kDivisions;
  bench.counters["ns/line"] = benchmark::Counter(lines * static_cast<double>(bench.iterations()),
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
void Exact(benchmark::State& bench, Write write, std::int32_t measures = kMeasures) {
  ProgramState& s = Map(measures);
  for (auto _ : bench) {
    ExportFile out;
    out.Open("/dev/null", WriteMode::kReplace);
    write(out, s);
    out.Finish();
  }
  Lines(bench, measures);
}

void BM_ExactList(benchmark::State& bench) {
  Exact(bench, [](ExportFile& out, const ProgramState& s) {
    TextMapTimeline timeline({1, s.tempo, s.beatsPerMeasure, s.measures}, kDivisions, Rational());
    StreamText text(out);
    ListSink<StreamText> list(text, 48000, kDivisions, ListTimes::kExact);
    WalkBeats(timeline, 0, kMeasures - 1, kDivisions, list);
  });
}

// Through WriteCsv, as the program writes it: the walk and the lines inlined.
void BM_Csv(benchmark::State& bench) {
  const auto measures = static_cast<std::int32_t>(bench.range(0));
  Exact(bench, [measures](ExportFile& out, const ProgramState& s) {
    WalkPlan plan;
    plan.timelines = [&s] {
      return std::make_unique<TextMapTimeline>(SectionTable{1, s.tempo, s.beatsPerMeasure, s.measures},
                                               kDivisions, Rational());
    };
    plan.stop = measures - 1;
    plan.divisions = kDivisions;
    plan.rate = 48000;
    WriteCsv(plan, out);
  }, measures);
}

// The floor a CSV writer is measured against: the same bytes from numbers
// already known (the times as whole nanoseconds, the frames, the places),
// formatted by std::to_chars into a buffer written to /dev/null as it fills.
void BM_BareCsvFormatting(benchmark::State& bench) {
  struct Row {
    std::uint64_t seconds, nanos, frame;
    std::uint32_t measure, beat, division;
  };
  std::vector<Row> rows;
  const auto measures = static_cast<std::int32_t>(bench.range(0));
  const std::int64_t lines = std::int64_t{measures} * 4 * kDivisions;
  for (std::int64_t k = 0; k < lines; ++k) {
    const std::uint64_t ns = static_cast<std::uint64_t>(k) * 154109596ull;  // 97.3333 bpm, 4 divisions
    rows.push_back({ns / 1000000000, ns % 1000000000, ns * 48 / 1000000,
                    static_cast<std::uint32_t>(k / 16 + 1), static_cast<std::uint32_t>(k / 4 % 4 + 1),
                    static_cast<std::uint32_t>(k % 4 + 1)});
  }
  // Written a block at a time, as the export writes: the text stays in cache.
  constexpr std::size_t kBlock = 1 << 16;
  std::vector<char> buffer(kBlock + 4096);
  std::FILE* sink = std::fopen("/dev/null", "wb");
  for (auto _ : bench) {
    char* at = buffer.data();
    const auto put = [&at](std::uint64_t v) { at = std::to_chars(at, at + 24, v).ptr; };
    for (const Row& r : rows) {
      put(r.seconds);
      *at++ = '.';
      std::uint64_t n = r.nanos;
      for (int i = 8; i >= 0; --i, n /= 10) at[i] = static_cast<char>('0' + n % 10);
      at += 9;
      *at++ = ',';
      put(r.frame);
      *at++ = ',';
      put(r.measure);
      *at++ = ',';
      put(r.beat);
      *at++ = ',';
      put(r.division);
      *at++ = ',';
      put(r.measure);
      *at++ = '.';
      put(r.beat);
      *at++ = '.';
      put(r.division);
      *at++ = '\r';
      *at++ = '\n';
      if (static_cast<std::size_t>(at - buffer.data()) >= kBlock) {
        std::fwrite(buffer.data(), 1, static_cast<std::size_t>(at - buffer.data()), sink);
        at = buffer.data();
      }
    }
    std::fwrite(buffer.data(), 1, static_cast<std::size_t>(at - buffer.data()), sink);
  }
  std::fclose(sink);
  Lines(bench, measures);
}

BENCHMARK(BM_ClassicList);
BENCHMARK(BM_ExactList);
BENCHMARK(BM_Csv)->Arg(kMeasures)->Arg(100 * kMeasures);
BENCHMARK(BM_BareCsvFormatting)->Arg(kMeasures)->Arg(100 * kMeasures);

}  // namespace
}  // namespace beatmarks
