#include "midi/midi_export.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/section_walk.h"
#include "exact/exact_time.h"
#include "midi/count_in.h"
#include "midi/midi_beats.h"
#include "midi/smf_track.h"
#include "midi/tempo_plan.h"

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

constexpr int kTicksPerQuarter = 960;
constexpr std::uint64_t kHeaderBytes = kMidiHeaderBytes + kTrackHeaderBytes;
// Further than any file within kMaxMidiExportBytes reaches, its deltas all full.
constexpr u128 kMaxTicks = u128{1} << 54;
constexpr std::uint64_t kTempoEventBytes = 7;  // at least: FF 51 03 and 3 bytes after its delta

// Reader units a second: a tick at u microseconds a quarter note lasts u of them.
const Rational& UnitsPerSecond() {
  static const Rational units(std::int64_t{kTicksPerQuarter} * 1000000);
  return units;
}

BigInt Floor(const Rational& r) { return BigInt::FloorDiv(r.numerator(), r.denominator()); }
BigInt Ceil(const Rational& r) { return -BigInt::FloorDiv(-r.numerator(), r.denominator()); }

std::string Seconds(const Rational& seconds) {
  std::string text;
  AppendSecondsAt(seconds, kMaxDecimals, text);
  // Without the zeros after the last digit that counts.
  while (text.back() == '0' && text.find('.') != std::string::npos) text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

enum class Pass {
  kEstimate,  // from the sections: a lower bound of the size, refusing the hopeless fast
  kPlan,      // every event planned and kept: the exact size
};

class Exporter {
 public:
  Exporter(const MidiExportSettings& settings, Pass pass)
      : settings_(settings),
        pass_(pass),
        bound_(settings.maxDrift * UnitsPerSecond()),
        track_(pass == Pass::kPlan),
        plan_(bound_, kTicksPerQuarter, [this](std::uint64_t tick, std::uint32_t micros) {
          track_.Tempo(tick, micros);
          over_ = track_.bytes() + kHeaderBytes > kMaxMidiExportBytes;
          return !over_;
        }) {}

  std::string Run(const TimelineMaker& make);

  std::uint64_t bytes() const { return track_.bytes() + kHeaderBytes; }
  std::uint64_t tempoEvents() const { return plan_.events(); }
  std::uint64_t betweenQuarters() const { return plan_.betweenQuarters(); }
  Rational largestDrift() const { return plan_.largestDrift() / UnitsPerSecond(); }
  const CountIn& countIn() const { return countIn_; }
  PlannedTrack& track() { return track_; }

 private:
  // A stretch's beats once placed: what the step after its last beat needs.
  struct Placed {
    Rational last;         // where its last beat belongs, in reader units
    Rational beat;         // a beat's length, in reader units
    Rational perTick;      // its tempo: reader units a tick (microseconds a quarter note)
    std::uint32_t ticks;   // a beat's
    TimeSignature meter;
    std::int32_t beatsPerMeasure;
    std::int64_t lastMeasure;
    std::int32_t lastBeat;
    bool change;  // its tempo change waits for the step after its only beat
  };

  std::string Place(const Stretch& s, const BeatSpan& span, bool counted);
  std::string Count(const Stretch& s, const BeatSpan& span, std::uint32_t beatTicks,
                    const TimeSignature& meter);
  std::string Begin(const Stretch& s, std::uint32_t beatTicks, const Rational& perTick,
                    const TimeSignature& meter, std::int32_t pickup);
  std::string LeadIn(const Stretch& s, std::uint32_t beatTicks, const Rational& perTick);
  std::string AddRun(const TempoRun& run, std::int64_t measure);
  std::string AddSteps(const TempoRun& run, std::int64_t measure);
  std::string Finish();
  // Past kMaxMidiExportBytes, or (without bytes) past any file within it.
  static std::string TooLong(const BigInt& bytes, bool atLeast);
  static std::string TooLong() { return "too long for a MIDI file: more than 256 MiB"; }
  void Marker(const Stretch& s);
  // "measure N: ", numbered as the run numbers measures.
  std::string At(std::int64_t measure) const {
    return "measure " + std::to_string(measure + settings_.firstMeasureNumber) + ": ";
  }
  void NoteMarker(const Stretch& s);

  const MidiExportSettings& settings_;
  const Pass pass_;
  const Rational bound_;  // in reader units
  PlannedTrack track_;
  TempoPlan plan_;
  bool over_ = false;  // the plan passed kMaxMidiExportBytes
  u128 tick_ = 0;
  BigInt tempoAtLeast_;  // tempo events the estimate knows must come
  std::optional<Placed> placed_;
  Rational shift_;                   // from a beat's time in the timeline to its time in the file
  Rational inForce_;                 // the map's tempo in force, reader units a tick
  std::optional<std::string> name_;  // a MIDI map's marker not written yet
  std::optional<TimeSignature> afterPickup_;  // the meter for the bar line that ends a pickup
  u128 pickupEnd_ = 0;                // that bar line's tick
  const std::string* marked_ = nullptr;  // the MIDI marker last taken
  CountIn countIn_;
};

std::string Exporter::Run(const TimelineMaker& make) {
  if (settings_.divisions < 1) return "divisions per beat must be at least 1";
  if (settings_.offset.Sign() < 0) return "the offset must not be negative";
  if (settings_.maxDrift < kLeastMaxDrift) {
    return "the largest drift must be at least 1 ns (0.000000001 s)";
  }
  std::string error;
  WalkStretches(*make(), StretchTimes::kAsked, [&](Stretch& s, Timeline& timeline) {
    if (s.firstMeasure > settings_.stop) return false;
    const BeatSpan span = s.divisions > 0
                              ? BeatsIn(s, settings_.divisions, settings_.start, settings_.stop)
                              : BeatSpan{};
    if (span.count == 0) {
      // A MIDI marker before the range is in force where it begins; one on
      // a change without a beat marks the next beat.
      if (s.source == StretchSource::kMidi) NoteMarker(s);
      return true;
    }
    // The estimate needs no times where a stretch's runs are too short to
    // count a tempo event (the plan then checks its tempo).
    const bool counted = pass_ == Pass::kEstimate && placed_ && span.count < 3;
    if (!counted) timeline.AddTimes(s);
    error = counted || s.time ? Place(s, span, counted) : "the map has no exact times";
    return error.empty();
  });
  if (!error.empty()) return error;
  if (!placed_) return "the range holds no beat";
  return Finish();
}

std::string Exporter::TooLong(const BigInt& bytes, bool atLeast) {
  return "too long for a MIDI file: " + std::string(atLeast ? "at least " : "") +
         bytes.ToDecimal() + " bytes, more than 256 MiB";
}

std::string Exporter::Place(const Stretch& s, const BeatSpan& span, bool counted) {
  const bool midi = s.source == StretchSource::kMidi;
  std::uint32_t beatTicks = kTicksPerQuarter;
  TimeSignature meter{s.beatsPerMeasure, 2, 24};
  if (std::string why = BeatAndMeterOf(s, kTicksPerQuarter, beatTicks, meter); !why.empty()) {
    return At(span.measure) + why;
  }
  if (tick_ + span.count * beatTicks > kMaxTicks) return TooLong();
  if (counted) return Count(s, span, beatTicks, meter);

  const Rational first = s.time->At(span.first);
  const Rational second = s.time->At(span.first + static_cast<DivisionCount>(settings_.divisions));
  if (!placed_) shift_ = settings_.offset - first;
  const Rational start = (first + shift_) * UnitsPerSecond();
  const Rational beat = (second - first) * UnitsPerSecond();
  const Rational perTick = beat / Rational(beatTicks);
  if (perTick < Rational(1) || perTick > Rational(kMaxMicrosPerQuarter)) {
    const Rational micro = Rational(1) / Rational(1000000);
    return At(span.measure) + "a tempo of " + SecondsOutside(perTick * micro, micro, kMaxMicrosPerQuarter * micro) +
           " s a quarter note, out of what a MIDI file holds (0.000001 to 16.777215 s)";
  }

  if (!placed_) {
    // A first beat after the downbeat begins a pickup: a short first bar.
    const std::int32_t pickup = !midi && span.beat > 0 ? s.beatsPerMeasure - span.beat : 0;
    std::string error = Begin(s, beatTicks, perTick, meter, pickup);
    if (!error.empty()) return error;
  } else {
    // From the last beat before to the first here (across a change inside a beat).
    const Placed& p = *placed_;
    std::string error =
        AddRun({p.last, start - p.last, p.ticks, 1, p.change}, p.lastMeasure);
    if (!error.empty()) return error;
    // A new meter, or the same one again after a measure cut short.
    const bool cut = span.beat == 0 && p.lastBeat != p.beatsPerMeasure - 1;
    if (meter != p.meter || cut) {
      track_.Meta(static_cast<std::uint64_t>(tick_), kTimeSignatureEvent, meter.Bytes());
    }
  }
  Marker(s);
  bool change = perTick != inForce_;
  inForce_ = perTick;
  const DivisionCount more = span.count - 1;
  if (more > 0) {
    std::string error =
        AddRun({start, beat, beatTicks, static_cast<std::uint64_t>(more), change}, span.measure);
    if (!error.empty()) return error;
    change = false;
  }
  const Rational last = start + beat * Rational(BigInt::FromUnsigned128(more), BigInt(1));
  placed_ = Placed{last, beat, perTick, beatTicks, meter, s.beatsPerMeasure,
                   span.lastMeasure, span.lastBeat, change};
  return "";
}

// A stretch of one or two beats in the estimate: its ticks and meta events,
// without times.
std::string Exporter::Count(const Stretch& s, const BeatSpan& span, std::uint32_t beatTicks,
                            const TimeSignature& meter) {
  const Placed p = *placed_;
  std::string error = AddRun({Rational(), Rational(), p.ticks, 1, false}, p.lastMeasure);
  if (!error.empty()) return error;
  const bool cut = span.beat == 0 && p.lastBeat != p.beatsPerMeasure - 1;
  if (meter != p.meter || cut) track_.Meta(std::uint64_t(tick_), kTimeSignatureEvent, meter.Bytes());
  Marker(s);
  const auto more = static_cast<std::uint64_t>(span.count - 1);
  if (more > 0) error = AddRun({Rational(), Rational(), beatTicks, more, false}, span.measure);
  placed_ = Placed{Rational(), Rational(), Rational(), beatTicks, meter, s.beatsPerMeasure,
                   span.lastMeasure, span.lastBeat, false};
  return error;
}

// The track's name and first meter at tick 0, then the lead-in when the
// offset is past the bound, then a pickup's short bar of `pickup` beats.
std::string Exporter::Begin(const Stretch& s, std::uint32_t beatTicks, const Rational& perTick,
                            const TimeSignature& meter, std::int32_t pickup) {
  if (!settings_.trackName.empty()) track_.Meta(0, kTrackNameEvent, settings_.trackName);
  // The pickup's bar in the meter's note (3/8 for one beat of 6/8).
  const TimeSignature shortBar{pickup * meter.numerator / s.beatsPerMeasure, meter.power, meter.clocks};
  const bool leadIn = settings_.offset * UnitsPerSecond() > bound_;
  track_.Meta(0, kTimeSignatureEvent, (pickup > 0 && !leadIn ? shortBar : meter).Bytes());
  if (leadIn) {
    std::string error = LeadIn(s, beatTicks, perTick);
    if (!error.empty()) return error;
    if (pickup > 0) track_.Meta(static_cast<std::uint64_t>(tick_), kTimeSignatureEvent, shortBar.Bytes());
  }
  if (pickup > 0) {
    afterPickup_ = meter;
    pickupEnd_ = tick_ + u128(pickup) * beatTicks;
  }
  return "";
}

// The count-in: whole measures of the first meter before the first beat,
// its beats held to the bound as the song's are.
std::string Exporter::LeadIn(const Stretch& s, std::uint32_t beatTicks, const Rational& perTick) {
  const Rational offset = settings_.offset * UnitsPerSecond();
  std::string error = PlanCountIn(offset / Rational(kTicksPerQuarter), perTick,
                                  std::int64_t{beatTicks} * s.beatsPerMeasure, kTicksPerQuarter, countIn_);
  if (!error.empty()) return error;
  const u128 beats = u128(countIn_.measures) * static_cast<std::uint64_t>(s.beatsPerMeasure);
  if (beats * beatTicks > kMaxTicks) return TooLong();
  inForce_ = countIn_.microsPerQuarter;
  const Rational count(BigInt::FromUnsigned128(beats), BigInt(1));
  return AddRun({Rational(), offset / count, beatTicks, static_cast<std::uint64_t>(beats), true}, 0);
}

// A MIDI map's stretch carries the marker in force: a new one is written
// once, where its first beat is.
void Exporter::NoteMarker(const Stretch& s) {
  if (s.name == nullptr || s.name == marked_) return;
  marked_ = s.name;
  name_ = *s.name;
}

// A text map's section is marked by its name, or "Section N"; a MIDI map
// keeps its own markers only; fitted beats, whose stretches are no
// sections, have none.
void Exporter::Marker(const Stretch& s) {
  const bool midi = s.source == StretchSource::kMidi;
  if (midi) NoteMarker(s);
  if (!midi && !s.HasTempoText()) return;
  std::string text;
  if (!midi) {
    text = s.Label();
  } else if (name_) {
    text = *name_;
  } else {
    return;
  }
  name_.reset();
  track_.Meta(static_cast<std::uint64_t>(tick_), kMarkerEvent, text);
}

// The run, and the map's meter at the bar line that ends a pickup, which
// may fall inside the run.
std::string Exporter::AddRun(const TempoRun& run, std::int64_t measure) {
  if (!afterPickup_ || tick_ + u128(run.count) * run.ticks < pickupEnd_) return AddSteps(run, measure);
  TempoRun head = run, tail = run;
  head.count = static_cast<std::uint64_t>((pickupEnd_ - tick_) / run.ticks);
  tail.start = run.start + run.step * Rational(BigInt::FromUnsigned(head.count), BigInt(1));
  tail.count -= head.count;
  tail.change = run.change && head.count == 0;
  std::string error = head.count > 0 ? AddSteps(head, measure) : "";
  if (!error.empty()) return error;
  track_.Meta(static_cast<std::uint64_t>(tick_), kTimeSignatureEvent, afterPickup_->Bytes());
  afterPickup_.reset();
  return tail.count > 0 ? AddSteps(tail, measure) : "";
}

std::string Exporter::AddSteps(const TempoRun& run, std::int64_t measure) {
  const u128 end = tick_ + u128(run.count) * run.ticks;
  if (end > kMaxTicks) return TooLong();
  if (pass_ == Pass::kEstimate) {
    if (run.count < 2) {
      tick_ = end;  // too short to count a tempo event of its own
      return "";
    }
    // A tempo off the map's by f microseconds a quarter note moves the drift
    // by f x ticks a beat: one tempo holds no more beats than cross twice the
    // bound, and the run's beats (with its first) need that many tempos at least.
    const Rational perTick = run.step / Rational(run.ticks);
    const Rational below = perTick - Rational(Floor(perTick), BigInt(1));
    if (below.Sign() != 0) {
      const Rational slowest = std::min(below, Rational(1) - below) * Rational(run.ticks);
      const BigInt longest = Floor(bound_ * Rational(2) / slowest) + BigInt(1);
      tempoAtLeast_ += Ceil(Rational(BigInt::FromUnsigned(run.count) + BigInt(1), longest)) - BigInt(1);
      const BigInt least = BigInt::FromUnsigned(bytes()) + tempoAtLeast_ * BigInt(kTempoEventBytes);
      if (least > BigInt::FromUnsigned(kMaxMidiExportBytes)) return TooLong(least, true);
    }
  } else if (!plan_.Add(run)) {
    if (over_) return TooLong(BigInt::FromUnsigned(bytes()), true);
    return At(measure) + "no tempo a MIDI file holds keeps the beats within " +
           Seconds(settings_.maxDrift) + " s";
  }
  tick_ = end;
  return "";
}

// The step after the last beat, as long as a beat, and the end of track.
std::string Exporter::Finish() {
  const Placed& p = *placed_;
  std::string error = AddRun({p.last, p.beat, p.ticks, 1, p.change}, p.lastMeasure);
  if (!error.empty()) return error;
  track_.Meta(static_cast<std::uint64_t>(tick_), kEndOfTrackEvent, "");
  if (pass_ == Pass::kEstimate) return "";
  if (bytes() > kMaxMidiExportBytes) return TooLong(BigInt::FromUnsigned(bytes()), false);
  if (track_.longestDelta() > kMaxDeltaTicks) {
    return "too long for a MIDI file: " + std::to_string(track_.longestDelta() / kTicksPerQuarter) +
           " quarter notes without an event, more than a delta time holds (" +
           std::to_string(kMaxDeltaTicks / kTicksPerQuarter) + ")";
  }
  return "";
}

}  // namespace

std::string PlanMidiExport(const TimelineMaker& make, const MidiExportSettings& settings,
                           MidiExportPlan& plan) {
  std::string error = Exporter(settings, Pass::kEstimate).Run(make);
  if (!error.empty()) return error;
  Exporter planner(settings, Pass::kPlan);
  error = planner.Run(make);
  if (!error.empty()) return error;
  plan.report = {planner.bytes(), planner.tempoEvents(), planner.largestDrift(),
                 DescribeCountIn(planner.countIn()), planner.betweenQuarters()};
  plan.track = std::move(planner.track());
  return "";
}

bool WriteMidiExport(const MidiExportPlan& plan, ExportFile& out) {
  if (plan.report.bytes < kHeaderBytes || plan.report.bytes > kMaxMidiExportBytes) return false;
  AppendMidiHeader(out.text(), 1, kTicksPerQuarter);
  AppendTrackHeader(out.text(), static_cast<std::uint32_t>(plan.report.bytes - kHeaderBytes));
  return plan.track.Write(out) + kHeaderBytes == plan.report.bytes;
}

std::string DescribeMidiExport(const MidiExportReport& report) {
  std::string text = std::to_string(report.tempoEvents) +
                     (report.tempoEvents == 1 ? " tempo event" : " tempo events") +
                     ", largest drift ";
  AppendSecondsAt(report.largestDrift, kMaxDecimals, text);
  text += " s" + report.countIn;
  if (report.betweenQuarters > 0) {
    // Only a bound finer than the quarter notes allow puts an event there.
    text += "; " + std::to_string(report.betweenQuarters) +
            (report.betweenQuarters == 1 ? " lies" : " lie") +
            " between quarter notes, where a DAW's import moves them";
  }
  return text;
}

}  // namespace beatmarks
