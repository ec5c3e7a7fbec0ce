#include "formats/osu_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace beatmarks {
namespace {

// Kept under the bound by this much, for the doubles' own rounding.
constexpr double kSlackMs = 1e-6;

// The beats [first, end) from one timing point at `time` ms: the beat
// length keeping them all in bound, or the end of the run that one can.
std::size_t LongestRun(const std::vector<BeatTime>& beats, std::size_t first, double time,
                       double boundMs, double& beatLength) {
  double low = 0, high = std::numeric_limits<double>::infinity();
  std::size_t end = first + 1;
  for (; end < beats.size(); ++end) {
    if (beats[end].beatsPerMeasure != beats[first].beatsPerMeasure && beats[end].beat == 0) break;
    const double k = static_cast<double>(end - first);
    const double at = beats[end].seconds * 1000.0 - time;
    const double newLow = std::max(low, (at - boundMs) / k);
    const double newHigh = std::min(high, (at + boundMs) / k);
    if (newLow > newHigh) break;
    low = newLow;
    high = newHigh;
  }
  if (end > first + 1) {
    // The middle, or the upper edge where beats closer than the bound leave 0 in it.
    beatLength = low + high > 0 ? (low + high) / 2 : high;
  } else if (end < beats.size()) {
    beatLength = (beats[end].seconds - beats[first].seconds) * 1000.0;
  }
  return end;
}

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
    const std::size_t end =
        LongestRun(beats, first, static_cast<double>(point.time), boundMs, beatLength);
    point.beatLength = beatLength;
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
