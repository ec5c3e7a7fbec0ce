#include "app/chart_run.h"

#include <filesystem>
#include <string>
#include <vector>

#include "app/output_run.h"
#include "formats/chart_format.h"
#include "formats/osu_format.h"
#include "formats/rekordbox_format.h"
#include "formats/sm_format.h"
#include "formats/ssc_format.h"
#include "terminal/output.h"

namespace beatmarks {
namespace {

// Every beat within a millisecond: what the games and Rekordbox resolve.
constexpr double kChartBound = 0.001;

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The recording a listened run heard, else a name to be set in the game's editor.
std::string AudioName(const WalkPlan& plan) {
  return plan.recording.empty() ? "audio.mp3" : BaseName(plan.recording);
}

// The recording a listened run heard as a whole path, for a library that
// finds its tracks by their place.
std::string AudioPath(const WalkPlan& plan) {
  if (plan.recording.empty()) return AudioName(plan);
  std::error_code error;
  const std::filesystem::path path = std::filesystem::absolute(plan.recording, error);
  return error ? plan.recording : path.lexically_normal().string();
}

int WriteChart(const OutputRequest& r, const std::string& text, std::size_t changes,
               const char* what, double drift) {
  return WriteOutput(
      r.output, WriteMode::kReplace,
      [&](ExportFile& out, std::string&) {
        out.Put(text);
        out.Filled();
        return true;
      },
      [&](std::uint64_t bytes) {
        Print("Saved %llu bytes, %zu %s%s, largest drift %.6f s\n",
              static_cast<unsigned long long>(bytes), changes, what, changes == 1 ? "" : "s",
              drift);
        return 0;
      });
}

// The range's beats, or false once the run is refused in one line.
bool ChartBeats(const OutputRequest& r, std::vector<BeatTime>& beats) {
  if (CollectBeatTimes(r.plan, beats)) return true;
  Print("Error: %s: more than %zu beats in the range for a chart\n", r.plan.mapName.c_str(),
        kMostChartBeats);
  return false;
}

}  // namespace

int OsuOutput(const OutputRequest& r) {
  std::vector<BeatTime> beats;
  if (!ChartBeats(r, beats)) return 1;
  const OsuPlan plan = PlanOsuTiming(beats, kChartBound);
  const std::string text = OsuText(plan, AudioName(r.plan), BaseName(r.plan.mapName));
  return WriteChart(r, text, plan.points.size(), "timing point", plan.largestDrift);
}

int SmOutput(const OutputRequest& r) {
  std::vector<BeatTime> beats;
  if (!ChartBeats(r, beats)) return 1;
  const SmPlan plan = PlanSmTiming(beats, kChartBound);
  const std::string text = SmText(plan, AudioName(r.plan), BaseName(r.plan.mapName));
  return WriteChart(r, text, plan.tempos.size(), "tempo", plan.largestDrift);
}

int ChartOutput(const OutputRequest& r) {
  std::vector<BeatTime> beats;
  if (!ChartBeats(r, beats)) return 1;
  const std::int64_t resolution = r.options.resolution.value_or(kChartResolution);
  if (const std::string problem = ChartMeterProblem(beats, resolution); !problem.empty()) {
    Print("Error: %s: %s\n", r.plan.mapName.c_str(), problem.c_str());
    return 1;
  }
  const ChartPlan plan = PlanChartTiming(beats, resolution);
  const std::string text = ChartText(plan, AudioName(r.plan), BaseName(r.plan.mapName));
  return WriteChart(r, text, plan.tempos.size(), "tempo event", plan.largestDrift);
}

int RekordboxOutput(const OutputRequest& r) {
  std::vector<BeatTime> beats;
  if (!ChartBeats(r, beats)) return 1;
  const RekordboxPlan plan = PlanRekordboxGrid(beats, kChartBound);
  const std::string text = RekordboxText(plan, AudioPath(r.plan), BaseName(r.plan.mapName));
  return WriteChart(r, text, plan.tempos.size(), "tempo", plan.largestDrift);
}

int SscOutput(const OutputRequest& r) {
  std::vector<BeatTime> beats;
  if (!ChartBeats(r, beats)) return 1;
  const SmPlan plan = PlanSmTiming(beats, kChartBound);
  const std::string text = SscText(plan, AudioName(r.plan), BaseName(r.plan.mapName));
  return WriteChart(r, text, plan.tempos.size(), "tempo", plan.largestDrift);
}

}  // namespace beatmarks
