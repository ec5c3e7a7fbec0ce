#include <algorithm>
#include <cstring>
#include <fstream>
#include <cstdint>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/inputs.h"
#include "app/run_report.h"
#include "app/run_settings.h"
#include "core/map_check.h"
#include "fit/beat_sources.h"
#include "fit/doubtful_beats.h"
#include "fit/fitted_timeline.h"
#include "fit/followed_beats.h"
#include "fit/heard_list.h"
#include "fit/heard_repair.h"
#include "listen/hear.h"
#include "listen/recording_reader.h"
#include "locate/times_reader.h"
#include "fit/snapped_beats.h"
#include "core/number_scan.h"
#include "exact/exact_time.h"
#include "terminal/output.h"

namespace beatmarks {
namespace {

// Doubtful beats shown one a line; the rest are counted.
constexpr std::size_t kDoubtfulLines = 5;

std::string Plural(std::int64_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

void SayRead(const BeatsRead& read, const Options& o) {
  const BeatList& beats = read.beats;
  std::string from = read.cuePoints ? " from cue points at " + std::to_string(read.sampleRate) + " Hz" : "";
  std::string pickup = beats.pickup > 0
                           ? " (the first a pickup of " +
                                 Plural(std::min<std::int64_t>(beats.runs.front().beats - beats.pickup, static_cast<std::int64_t>(beats.size())), "beat") + ")"
                           : "";
  Print("Read %s%s in %s%s, fitted by %s\n", Plural(static_cast<std::int64_t>(beats.size()), "beat").c_str(),
        from.c_str(), Plural(beats.measureCount, "measure").c_str(), pickup.c_str(), o.fit->c_str());
}

// The recording's rate is the run's: a RATE given must be the same.
bool RateAgreesWithRecording(const Options& o, std::int64_t rate) {
  const bool rateGiven = o.rate || o.positional.size() >= 3;
  const std::int64_t given = o.rate ? *o.rate : rateGiven ? DecimalInt32(o.positional[2]) : rate;
  if (given == rate) return true;
  Print("Error: %s: its sample rate is %lld, not the %lld given\n", o.snap->c_str(),
        static_cast<long long>(rate), static_cast<long long>(given));
  return false;
}

// --snap: every beat on the first sample of its attack in the recording,
// whose rate the run takes (a RATE given must be the same).
bool SnapToRecording(const Options& o, BeatList& beats, std::int64_t first, ProgramState& s,
                     std::vector<BeatOrigin>& origins) {
  SnapSettings settings;
  if (o.snapWindow) settings.window = NearestDouble(*Rational::FromDecimal(*o.snapWindow));
  BeatsSnapped snapped;
  std::string error;
  if (!SnapBeats(*o.snap, settings, first, kDoubtfulLines, beats, snapped, error)) {
    Print("Error: %s\n", error.c_str());
    return false;
  }
  if (!RateAgreesWithRecording(o, snapped.result.rate)) return false;
  for (const std::string& line : snapped.warnings) Print("Warning: %s\n", line.c_str());
  Print("%s\n", DescribeSnap(snapped.result).c_str());
  s.sampleRate = static_cast<std::int32_t>(snapped.result.rate);
  origins = std::move(snapped.origins);
  return true;
}

void TellDoubtful(const BeatList& beats, std::int64_t first) {
  for (const std::string& line : DoubtfulBeats(beats, first, kDoubtfulLines)) {
    Print("Warning: %s\n", line.c_str());
  }
}

// One flag a beat: tapped, not one the mending added.
std::vector<bool> TappedBeats(const BeatsRead& read) {
  std::vector<bool> tapped(read.beats.size(), true);
  for (const TapRepair& r : read.repairs) {
    if (r.kind != TapRepair::Kind::kMissed) continue;
    for (std::uint64_t i = 0; i < r.count && r.beat + i < tapped.size(); ++i) tapped[r.beat + i] = false;
  }
  return tapped;
}

// The repairs to tell: with --follow the beats missing between taps are
// found, not added, and are not repairs.
std::vector<TapRepair> RepairsToTell(const BeatsRead& read, const Options& o) {
  if (!o.follow) return read.repairs;
  std::vector<TapRepair> told;
  for (const TapRepair& r : read.repairs) {
    if (r.kind != TapRepair::Kind::kMissed) told.push_back(r);
  }
  return told;
}

// --follow: the taps snapped, the beats between and after them found in the
// recording, whose rate the run takes.
bool FollowRecording(const Options& o, BeatsRead& read, std::int64_t first, ProgramState& s,
                     std::vector<BeatOrigin>& origins, std::string& closing) {
  FollowRequest q;
  q.recording = *o.snap;
  if (o.snapWindow) q.snap.window = NearestDouble(*Rational::FromDecimal(*o.snapWindow));
  q.firstNumber = first;
  q.stop = StopGiven(o, first);
  q.tapped = TappedBeats(read);
  q.lines = kDoubtfulLines;
  BeatsFollowed followed;
  std::string error;
  if (!FollowBeats(q, read.beats, followed, error)) {
    Print("Error: %s\n", error.c_str());
    return false;
  }
  if (!RateAgreesWithRecording(o, followed.snapped.result.rate)) return false;
  for (const std::string& line : followed.snapped.warnings) Print("Warning: %s\n", line.c_str());
  Print("%s\n", DescribeSnap(followed.snapped.result).c_str());
  for (const std::string& line : followed.warnings) Print("Warning: %s\n", line.c_str());
  Print("%s\n", DescribeFollow(followed).c_str());
  closing = std::move(followed.closing);
  s.sampleRate = static_cast<std::int32_t>(followed.snapped.result.rate);
  origins = std::move(followed.origins);
  return true;
}

// A beat the mending added and no attack moved is placed, not tapped; one
// added for the attack the recording has is found there.
void MarkAddedBeats(const BeatsRead& read, std::vector<BeatOrigin>& origins) {
  const std::vector<bool> tapped = TappedBeats(read);
  for (std::size_t k = 0; k < origins.size() && k < tapped.size(); ++k) {
    if (!tapped[k] && origins[k] == BeatOrigin::kTapped) origins[k] = BeatOrigin::kPlaced;
  }
  for (const TapRepair& r : read.repairs) {
    if (r.kind != TapRepair::Kind::kMissed || !r.heard) continue;
    for (std::uint64_t i = 0; i < r.count && r.beat + i < origins.size(); ++i) {
      if (origins[r.beat + i] == BeatOrigin::kSnapped) origins[r.beat + i] = BeatOrigin::kFollowed;
    }
  }
}

// The places of the beats listened to, with their origins, for the outputs.
BeatOrigins OriginsByPlace(const BeatList& beats, const std::vector<BeatOrigin>& origins) {
  if (origins.empty()) return nullptr;
  auto list = std::make_shared<std::vector<OriginAt>>();
  list->reserve(beats.size());
  for (std::size_t k = 0; k < beats.size() && k < origins.size(); ++k) {
    const BeatPlace place = beats.PlaceOf(k);
    list->push_back({place.measure, place.beat, origins[k]});
  }
  return list;
}

// What was read and mended, then the recording listened to: the beats
// snapped, or followed, with where each came from; false where the
// recording cannot serve.
bool TellAndListen(const Options& o, BeatsRead& read, std::int64_t first, ProgramState& s,
                   std::vector<BeatOrigin>& origins) {
  const BeatList& beats = read.beats;
  SayRead(read, o);
  for (const std::string& line : RepairLines(RepairsToTell(read, o), beats, first, kDoubtfulLines)) {
    Print("Warning: %s\n", line.c_str());
  }
  if (*o.fit == "measure") {
    for (const std::string& line : HeldBeats(beats, first, kDoubtfulLines)) Print("Warning: %s\n", line.c_str());
  }
  if (!o.follow) TellDoubtful(beats, first);
  if (read.cuePoints) s.sampleRate = static_cast<std::int32_t>(read.sampleRate);
  if (o.follow) {
    std::string closing;
    if (!FollowRecording(o, read, first, s, origins, closing)) return false;
    TellDoubtful(beats, first);
    Print("%s\n", closing.c_str());  // the follow's last word comes last
    return true;
  }
  if (!o.snap) return true;
  if (!SnapToRecording(o, read.beats, first, s, origins)) return false;
  MarkAddedBeats(read, origins);
  return true;
}

// A --meter the places contradict: the meter is the one the music starts
// in, so the first measure must have its beats (later measures may change
// it, as the places say); empty where it does.
std::string MeterAgainstPlaces(const Options& o, const BeatList& beats, std::int64_t first) {
  if (!o.meter || !beats.positioned || beats.runs.empty() || beats.runs.front().beats == *o.meter) return "";
  const MeasureRun& run = beats.runs.front();
  const std::string asked = std::to_string(*o.meter);
  const std::string meter = o.compoundMeter ? std::to_string(*o.meter * 3) + "/8" : asked;
  return "--meter=" + meter + " disagrees with the places: measure " + std::to_string(run.firstMeasure + first) +
         " has " + Plural(run.beats, "beat") + ", not " + (o.compoundMeter ? "the " + asked + " of " + meter : asked);
}

// BEATS that is a recording without cue points, to be listened to whole: a
// WAV file read for its cue points that has none (and none left out), or
// a file of another audio format (read as text, it failed).
bool IsRecordingWithoutCues(const std::string& path, const BeatsRead& read, const std::string& error) {
  std::ifstream file(path, std::ios::binary);
  char magic[4] = {};
  file.read(magic, sizeof magic);
  const bool riff = file && (std::memcmp(magic, "RIFF", 4) == 0 || std::memcmp(magic, "RF64", 4) == 0);
  if (riff && (read.cuesPastEnd > 0 || !error.ends_with(" holds no cue points"))) return false;
  RecordingReader recording;
  std::string unused;
  return recording.Open(path, unused);
}

std::string MeterName(std::int32_t meter, bool compound) {
  return compound ? std::to_string(meter * 3) + "/8" : std::to_string(meter) + "/4";
}

// Every beat of the recording heard, with the meter and downbeats (from
// `tap` where one is given), and said; false where none is heard or the
// file cannot serve.
bool HearRecording(const Options& o, const std::string& path, const TapAnchor* tap, BeatsRead& read, ProgramState& s,
                   std::vector<BeatOrigin>& origins, bool& compound) {
  HearingRequest q;
  q.path = path;
  q.meter = o.meter.value_or(0);
  q.compound = o.compoundMeter;
  q.before = tap ? std::optional<std::int32_t>(0) : o.pickup;
  HeardBeats heard;
  std::string error;
  if (!HearBeats(q, heard, error)) {
    Print("Error: %s\n", error.c_str());
    return false;
  }
  const bool rateGiven = o.rate || o.positional.size() >= 3;
  const std::int64_t given = o.rate ? *o.rate : rateGiven ? DecimalInt32(o.positional[2]) : heard.rate;
  if (given != heard.rate) {
    Print("Error: %s: its sample rate is %lld, not the %lld given\n", q.path.c_str(),
          static_cast<long long>(heard.rate), static_cast<long long>(given));
    return false;
  }
  std::size_t tapped = 0;
  if (tap && !ListFromTap(heard, *tap, read.beats, tapped, error)) {
    Print("Error: %s: %s in %s\n", ShownFileName(o.positional[0]).c_str(), error.c_str(), path.c_str());
    return false;
  }
  if (!tap) read.beats = ListOfHeard(heard);
  const std::int64_t first = FirstMeasureNumber(o, read.beats.firstNumber);
  compound = heard.compound;
  Print("%s\n", DescribeHeard(heard, read.beats, MeterName(heard.meter, heard.compound)).c_str());
  for (const std::string& unsure : UnsureLines(heard, read.beats, first)) Print("%s\n", unsure.c_str());
  s.sampleRate = static_cast<std::int32_t>(heard.rate);
  origins.assign(read.beats.size(), BeatOrigin::kHeard);
  for (const std::size_t k : heard.placed) origins[k] = BeatOrigin::kPlaced;
  if (tap) origins[tapped] = BeatOrigin::kSnapped;
  return true;
}

}  // namespace

std::optional<WalkPlan> FittedPlan(const Options& o, ProgramState& s, int& status) {
  status = 1;
  auto read = std::make_shared<BeatsRead>();
  std::string error;
  BeatReading how(o.meter.value_or(4));
  how.mend = !o.strict;
  if (o.follow) how.mostAdded = kMostFollowed;
  how.pickup = o.pickup.value_or(0);
  how.oneIsEnough = o.snap && o.follow;
  bool ok = ReadBeatsFile(o.positional[0], how, *read, error);
  // A recording without cue points is heard whole (with --snap, BEATS are
  // taps), and so is the recording of one tap with --follow, from that tap.
  const bool alone = !ok && !o.snap && IsRecordingWithoutCues(o.positional[0], *read, error);
  const bool anchored = ok && how.oneIsEnough && read->beats.size() == 1;
  const bool heard = alone || anchored;
  std::vector<BeatOrigin> origins;
  bool compound = o.compoundMeter;  // each beat a dotted quarter
  if (heard) {
    const TapAnchor tap = anchored ? AnchorOf(read->beats, o.pickup) : TapAnchor{};
    if (!HearRecording(o, anchored ? *o.snap : o.positional[0], anchored ? &tap : nullptr, *read, s, origins,
                       compound)) {
      return std::nullopt;
    }
    ok = true;
  }
  if (const std::string leftOut = CuesLeftOut(*read); !leftOut.empty()) Print("Warning: %s\n", leftOut.c_str());
  if (!ok) {
    Print("Error: %s\n", error.c_str());
    return std::nullopt;
  }
  // A missed or extra tap the intervals cannot tell, the recording can.
  if (o.snap && how.mend && !o.follow) MendByRecording(*o.snap, *read);
  const BeatList& beats = read->beats;
  if (how.pickup > 0 && beats.positioned) {
    status = UsageError("--pickup is for beats without M.B places; these have places");
    return std::nullopt;
  }
  // Measures are numbered as the positions given number them (from 1
  // without), unless --first-measure says otherwise.
  const std::int64_t first = FirstMeasureNumber(o, beats.firstNumber);
  if (const std::string early = MeasureBeforeFirst(o, first); !early.empty()) {
    status = UsageError(early);
    return std::nullopt;
  }
  if (const std::string meter = MeterAgainstPlaces(o, beats, first); !meter.empty()) {
    status = UsageError(meter);
    return std::nullopt;
  }
  if (!heard && !TellAndListen(o, *read, first, s, origins)) return std::nullopt;
  ApplyRunSettings(o, s);
  const MeasureRange range = RunRange(o, first, beats.measureCount, s);
  const std::string problem = WalkProblem({0, s.tempo, s.beatsPerMeasure, s.measures}, s.divisions);
  if (!problem.empty()) {
    PrintLine(problem);
    return std::nullopt;
  }
  // The offset is where the range's first beat lies (measure 1's downbeat
  // for the whole map without a pickup): the times themselves are the
  // performance's and take no offset.
  std::size_t firstBeat = beats.FirstFrom(std::clamp<std::int64_t>(range.start, 0, beats.measureCount));
  if (firstBeat >= beats.size()) firstBeat = 0;
  WalkPlan plan;
  plan.offset = beats.TimeOf(firstBeat);
  const FitMode mode = *o.fit == "measure" ? FitMode::kMeasure : FitMode::kBeat;
  const TappedNote note = compound ? TappedNote::kDottedQuarter : TappedNote::kQuarter;
  plan.timelines = [read, mode, divisions = s.divisions, note] {
    return std::make_unique<FittedTimeline>(read->beats, mode, divisions, note);
  };
  plan.start = range.start;
  plan.stop = range.stop;
  plan.firstMeasureNumber = first;
  plan.origins = OriginsByPlace(beats, origins);
  if (o.snap) plan.recording = *o.snap;
  if (alone) plan.recording = o.positional[0];
  return plan;
}

}  // namespace beatmarks
