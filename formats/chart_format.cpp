#include "formats/chart_format.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace beatmarks {
namespace {

// The exponent e of a note value 2^e; -1 for one that is no power of two.
int NoteExponent(std::int32_t noteValue) {
  int exponent = 0;
  for (std::int64_t power = 1; power <= noteValue; power *= 2, ++exponent) {
    if (power == noteValue) return exponent;
  }
  return -1;
}

// A tick's length (seconds) at each beat's exact tempo: to the next beat,
// the last beat to the one before.
std::vector<double> TickLengths(const std::vector<BeatTime>& beats,
                                const std::vector<std::int64_t>& places) {
  std::vector<double> ticks(beats.size(), 0.0);
  for (std::size_t i = 0; i + 1 < beats.size(); ++i) {
    const double span = beats[i + 1].seconds - beats[i].seconds;
    ticks[i] = std::max(0.0, span / static_cast<double>(places[i + 1] - places[i]));
  }
  if (beats.size() > 1) ticks.back() = ticks[beats.size() - 2];
  return ticks;
}

void Line(std::string& text, const std::string& line) {
  text += "  ";
  text += line;
  text += "\r\n";
}

void MeterLine(std::string& text, const MeterChange& m) {
  std::string line = std::to_string(m.place);
  line += " = TS ";
  line += std::to_string(m.numerator);
  if (const int exponent = NoteExponent(m.denominator); exponent != 2) {
    line += ' ';
    line += std::to_string(exponent);
  }
  Line(text, line);
}

// A name in quotes on its line: its own quotes made apostrophes (the format
// has no escape), control characters left out.
std::string Quoted(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) quoted += c == '"' ? '\'' : c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace

std::string ChartMeterProblem(const std::vector<BeatTime>& beats, std::int64_t resolution) {
  for (const BeatTime& beat : beats) {
    if (NoteExponent(beat.MeterDenominator()) < 0) {
      return "a meter of " + std::to_string(beat.MeterNumerator()) + "/" + std::to_string(beat.MeterDenominator()) +
             " cannot be written in a .chart file (its note is no power of two)";
    }
    if (4 * resolution * beat.noteNumerator % beat.noteValue != 0) {
      const std::int64_t need = beat.noteValue / std::gcd(beat.noteValue, std::int64_t{4} * beat.noteNumerator);
      return "resolution " + std::to_string(resolution) + " puts a beat of " + std::to_string(beat.noteNumerator) +
             "/" + std::to_string(beat.noteValue) + " between ticks (a multiple of " + std::to_string(need) +
             " would not)";
    }
  }
  return "";
}

ChartPlan PlanChartTiming(const std::vector<BeatTime>& beats, std::int64_t resolution) {
  ChartPlan plan;
  plan.resolution = resolution;
  if (beats.empty()) return plan;
  plan.offsetMicros = std::llround(beats[0].seconds * 1e6);
  const double start = static_cast<double>(plan.offsetMicros) / 1e6;
  const std::vector<std::int64_t> places = BeatPlaces(beats, resolution);
  const std::vector<double> ticks = TickLengths(beats, places);
  TempoRuns runs = PlanTempoRuns(beats, places, resolution, start, ticks);
  plan.tempos = std::move(runs.tempos);
  plan.meters = std::move(runs.meters);
  plan.largestDrift = runs.largestDrift;
  return plan;
}

std::string ChartText(const ChartPlan& plan, const std::string& audio, const std::string& title) {
  std::string text = "[Song]\r\n{\r\n";
  Line(text, "Name = " + Quoted(title));
  const std::int64_t micros = std::llabs(plan.offsetMicros);
  const std::string fraction = std::to_string(micros % 1000000);
  std::string offset = plan.offsetMicros < 0 ? "Offset = -" : "Offset = ";
  offset += std::to_string(micros / 1000000);
  offset += '.';
  offset.append(6 - fraction.size(), '0');
  offset += fraction;
  Line(text, offset);
  Line(text, "Resolution = " + std::to_string(plan.resolution));
  Line(text, "MusicStream = " + Quoted(audio));
  text += "}\r\n[SyncTrack]\r\n{\r\n";
  std::size_t meter = 0;
  for (const TempoChange& change : plan.tempos) {
    for (; meter < plan.meters.size() && plan.meters[meter].place <= change.place; ++meter) {
      MeterLine(text, plan.meters[meter]);
    }
    Line(text, std::to_string(change.place) + " = B " + std::to_string(change.tempo));
  }
  for (; meter < plan.meters.size(); ++meter) MeterLine(text, plan.meters[meter]);
  text += "}\r\n[Events]\r\n{\r\n}\r\n";
  return text;
}

}  // namespace beatmarks
