#include "formats/sm_format.h"

#include <cmath>
#include <cstdlib>

namespace beatmarks {
namespace {

constexpr std::int64_t kThousandths = 1000;  // a quarter note's places

void AppendThousandths(std::string& text, std::int64_t value) {
  if (value < 0) text += '-';
  const std::int64_t size = std::llabs(value);
  const std::string fraction = std::to_string(size % 1000);
  text += std::to_string(size / 1000);
  text += '.';
  text.append(3 - fraction.size(), '0');
  text += fraction;
}

}  // namespace

std::string MsdValue(const std::string& text) {
  std::string value;
  for (const char c : text) {
    if (c == '\\' || c == ';' || c == ':' || c == '#') value += '\\';
    value += c;
  }
  return value;
}

SmPlan PlanSmTiming(const std::vector<BeatTime>& beats, double bound) {
  SmPlan plan;
  if (beats.empty()) return plan;
  plan.offset = -std::llround(beats[0].seconds * 1000.0);
  const double start = -static_cast<double>(plan.offset) / 1000.0;
  TempoRuns runs = PlanTempoRuns(beats, BeatPlaces(beats, kThousandths), kThousandths, start,
                                 std::vector<double>(beats.size(), bound));
  plan.tempos = std::move(runs.tempos);
  plan.meters = std::move(runs.meters);
  plan.largestDrift = runs.largestDrift;
  return plan;
}

std::string SmTimingTags(const SmPlan& plan) {
  std::string text = "#OFFSET:";
  AppendThousandths(text, plan.offset);
  text += ";\n#BPMS:";
  for (std::size_t i = 0; i < plan.tempos.size(); ++i) {
    text += i == 0 ? "" : "\n,";
    AppendThousandths(text, plan.tempos[i].place);
    text += "=";
    AppendThousandths(text, plan.tempos[i].tempo);
  }
  text += ";\n#TIMESIGNATURES:";
  for (std::size_t i = 0; i < plan.meters.size(); ++i) {
    text += i == 0 ? "" : "\n,";
    AppendThousandths(text, plan.meters[i].place);
    text += '=';
    text += std::to_string(plan.meters[i].numerator);
    text += '=';
    text += std::to_string(plan.meters[i].denominator);
  }
  text += ";\n";
  return text;
}

std::string SmText(const SmPlan& plan, const std::string& audio, const std::string& title) {
  return "#TITLE:" + MsdValue(title) + ";\n#MUSIC:" + MsdValue(audio) + ";\n" + SmTimingTags(plan);
}

}  // namespace beatmarks
