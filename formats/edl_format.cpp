#include "formats/edl_format.h"

#include <cstdio>

namespace beatmarks {
namespace {

constexpr std::size_t kLongestTitle = 70;

const char* ColorOf(const BeatEvent& e) {
  if (e.division != 0) return "BLUE";
  return e.beat == 0 ? "RED" : "YELLOW";
}

// The timecodes of the frame a division falls in and of the next, however far.
void AppendFrameAndNext(const BeatEvent& e, const TimecodeRate& rate, std::string& in, std::string& out) {
  std::uint64_t frame = 0;
  if (FrameOfDivision(*e.stretch.time, e.index, rate, frame) && frame < ~std::uint64_t{0}) {
    char text[kLongestTimecode];
    in.assign(text, PutTimecode(text, frame, rate));
    out.assign(text, PutTimecode(text, frame + 1, rate));
    return;
  }
  const BigInt exact = FrameAt(e.stretch.time->At(e.index), rate);
  AppendTimecode(exact, rate, in);
  AppendTimecode(exact + BigInt(1), rate, out);
}

}  // namespace

EdlSink::EdlSink(ExportFile& out, const TimecodeRate& rate, const std::string& title,
                 bool everyDivision, std::int32_t divisions)
    : out_(out), rate_(rate), everyDivision_(everyDivision), divisions_(divisions) {
  std::string& text = out_.text();
  text += "TITLE: ";
  text += title;
  text += rate_.drop ? "\nFCM: DROP FRAME\n\n" : "\nFCM: NON-DROP FRAME\n\n";
}

void EdlSink::Division(const BeatEvent& e) {
  if (!everyDivision_ && (e.beat != 0 || e.division != 0)) return;
  std::string in, out;
  AppendFrameAndNext(e, rate_, in, out);
  char number[32];
  std::snprintf(number, sizeof number, "%03llu", static_cast<unsigned long long>(++events_));
  std::string& text = out_.text();
  text += number;
  text += "  AX       V     C        ";
  text += in + ' ' + out + ' ' + in + ' ' + out;
  text += "\n* LOC: ";
  text += in;
  char color[16];
  std::snprintf(color, sizeof color, " %-7s ", ColorOf(e));
  text += color;
  text += std::to_string(MeasureNumber(e.measure)) + '.' + std::to_string(e.beat + 1);
  if (everyDivision_ && divisions_ > 1) text += '.' + std::to_string(e.division + 1);
  text += '\n';
  out_.Filled();
}

std::string EdlTitle(const std::string& mapName) {
  std::string name = mapName.substr(mapName.find_last_of('/') + 1);
  if (const std::size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) {
    name.resize(dot);
  }
  if (name.size() > kLongestTitle) name.resize(kLongestTitle);
  for (char& c : name) {
    if (c < ' ' || c > '~') c = '?';
  }
  return name;
}

void WriteEdl(const WalkPlan& plan, bool everyDivision, ExportFile& out) {
  EdlSink edl(out, *plan.timecode, EdlTitle(plan.mapName), everyDivision, plan.divisions);
  plan.Walk(edl);
}

}  // namespace beatmarks
