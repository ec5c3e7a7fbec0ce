#include "formats/osu_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "formats/even_runs.h"

namespace beatmarks {
namespace {

// Kept under the bound by this much, for the doubles' own rounding.
constexpr double kSlackMs = 1e-6;

void AppendDouble(std::string& text, double value) {
  char digits[32];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

}  // namespace

OsuPlan PlanOsuTiming(const std::vector<BeatTime>& beats, double bound) {
  OsuPlan plan;
  const double boundMs = bound * 1000.0 - kSlackMs;
  double beatLength = 500;  // a lone beat keeps the length before it
  for (std::size_t first = 0; first < beats.size();) {
    OsuTimingPoint point;
    point.time = std::llround(beats[first].seconds * 1000.0);
    point.meter = beats[first].beatsPerMeasure;
    const EvenRun run = LongestEvenRun(beats, first, static_cast<double>(point.time), boundMs,
                                       BeatLengths::kAny, beatLength);
    const std::size_t end = run.end;
    beatLength = point.beatLength = run.beatLength;
    for (std::size_t i = first; i < end; ++i) {
      const double read = (static_cast<double>(point.time) +
                           static_cast<double>(i - first) * point.beatLength) / 1000.0;
      plan.largestDrift = std::max(plan.largestDrift, std::fabs(read - beats[i].seconds));
    }
    plan.points.push_back(point);
    first = end;
  }
  return plan;
}

std::string OsuText(const OsuPlan& plan, const std::string& audio, const std::string& title) {
  std::string text = "osu file format v14\r\n\r\n[General]\r\nAudioFilename: ";
  text += audio;
  text += "\r\nAudioLeadIn: 0\r\nMode: 0\r\n\r\n[Metadata]\r\nTitle:";
  text += title;
  text += "\r\nVersion:Beatmarks\r\n\r\n[TimingPoints]\r\n";
  for (const OsuTimingPoint& point : plan.points) {
    text += std::to_string(point.time);
    text += ',';
    AppendDouble(text, point.beatLength);
    text += ',';
    text += std::to_string(point.meter);
    text += ",1,0,100,1,0\r\n";
  }
  text += "\r\n[HitObjects]\r\n";
  return text;
}

}  // namespace beatmarks
