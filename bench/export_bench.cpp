// The cost of a line: the classic list (running sum, fixed buffer) against the
// exact list and the exact point formats, on the same map, in one run.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstring>
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

// The rows a CSV yardstick formats: the times as whole nanoseconds, the
// frames and the places, all known before the clock starts.
struct CsvRow {
  std::uint64_t seconds, nanos, frame;
  std::uint32_t measure, beat, division;
};

std::vector<CsvRow> CsvRows(std::int32_t measures) {
  std::vector<CsvRow> rows;
  const std::int64_t lines = std::int64_t{measures} * 4 * kDivisions;
  for (std::int64_t k = 0; k < lines; ++k) {
    const std::uint64_t ns = static_cast<std::uint64_t>(k) * 154109596ull;  // 97.3333 bpm, 4 divisions
    rows.push_back({ns / 1000000000, ns % 1000000000, ns * 48 / 1000000,
                    static_cast<std::uint32_t>(k / 16 + 1), static_cast<std::uint32_t>(k / 4 % 4 + 1),
                    static_cast<std::uint32_t>(k % 4 + 1)});
  }
  return rows;
}

// The same bytes as the CSV, formatted with `put` (a whole number) and
// `nine` (nine digits) into a buffer written to /dev/null a 64 KiB block at a
// time, as the export writes: the text stays in cache.
template <class Put, class Nine>
void FormatCsvRows(benchmark::State& bench, Put put, Nine nine) {
  const auto measures = static_cast<std::int32_t>(bench.range(0));
  const std::vector<CsvRow> rows = CsvRows(measures);
  constexpr std::size_t kBlock = 1 << 16;
  std::vector<char> buffer(kBlock + 4096);
  std::FILE* sink = std::fopen("/dev/null", "wb");
  for (auto _ : bench) {
    char* at = buffer.data();
    for (const CsvRow& r : rows) {
      at = put(at, r.seconds);
      *at++ = '.';
      at = nine(at, r.nanos);
      *at++ = ',';
      at = put(at, r.frame);
      *at++ = ',';
      at = put(at, r.measure);
      *at++ = ',';
      at = put(at, r.beat);
      *at++ = ',';
      at = put(at, r.division);
      *at++ = ',';
      at = put(at, r.measure);
      *at++ = '.';
      at = put(at, r.beat);
      *at++ = '.';
      at = put(at, r.division);
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

// A floor from the standard library: std::to_chars, nine digits one by one.
void BM_BareCsvFormatting(benchmark::State& bench) {
  FormatCsvRows(
      bench, [](char* at, std::uint64_t v) { return std::to_chars(at, at + 24, v).ptr; },
      [](char* at, std::uint64_t n) {
        for (int i = 8; i >= 0; --i, n /= 10) at[i] = static_cast<char>('0' + n % 10);
        return at + 9;
      });
}

// Two digits a step from a table of "00" to "99".
struct DigitPairs {
  char pairs[200];
  constexpr DigitPairs() : pairs() {
    for (int i = 0; i < 100; ++i) {
      pairs[2 * i] = static_cast<char>('0' + i / 10);
      pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr DigitPairs kPairs;

int DigitCount(std::uint64_t v) {
  int digits = 1;
  for (; v >= 10000; v /= 10000) digits += 4;
  return digits + (v >= 10) + (v >= 100) + (v >= 1000);
}

// Writes `digits` digits of v ending at `end`, two at a time.
void PairsBackwards(char* end, std::uint64_t v, int digits) {
  for (; digits >= 2; digits -= 2, v /= 100) {
    end -= 2;
    std::memcpy(end, kPairs.pairs + 2 * (v % 100), 2);
  }
  if (digits == 1) end[-1] = static_cast<char>('0' + v);
}

// The yardstick: what a hand-tuned C formatter makes of the same bytes, each
// number's length counted first and its digits written in pairs.
void BM_TunedCsvFormatting(benchmark::State& bench) {
  FormatCsvRows(
      bench,
      [](char* at, std::uint64_t v) {
        const int digits = DigitCount(v);
        PairsBackwards(at + digits, v, digits);
        return at + digits;
      },
      [](char* at, std::uint64_t n) {
        PairsBackwards(at + 9, n, 9);
        return at + 9;
      });
}

BENCHMARK(BM_ClassicList);
BENCHMARK(BM_ExactList);
BENCHMARK(BM_Csv)->Arg(kMeasures)->Arg(100 * kMeasures);
BENCHMARK(BM_BareCsvFormatting)->Arg(kMeasures)->Arg(100 * kMeasures);
BENCHMARK(BM_TunedCsvFormatting)->Arg(kMeasures)->Arg(100 * kMeasures);

}  // namespace
}  // namespace beatmarks
