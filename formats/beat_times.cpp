#include "formats/beat_times.h"

namespace beatmarks {
namespace {

class BeatTimeSink final : public BeatSink {
 public:
  explicit BeatTimeSink(std::vector<BeatTime>& beats) : beats_(beats) {}

  void Pass(const Stretch&, DivisionCount) override {}
  void MeasureEnd(std::int64_t) override {}
  bool Full() const override { return beats_.size() > kMostChartBeats; }
  void Division(const BeatEvent& e) override {
    if (e.division != 0) return;
    const Stretch& s = e.stretch;
    BeatTime beat;
    beat.seconds = s.time->Nearest(e.index);
    beat.measure = e.measure;
    beat.beat = e.beat;
    beat.beatsPerMeasure = s.beatsPerMeasure;
    if (s.beatNoteDenominator > 0) {
      beat.noteNumerator = s.beatNoteNumerator;
      beat.noteValue = s.beatNoteDenominator;
    } else if (s.meterDenominator > 0) {
      beat.noteValue = s.meterDenominator;
    }
    if (s.HasTimeSignature()) {
      beat.timeNumerator = s.meterNumerator;
      beat.timeDenominator = s.meterDenominator;
    }
    beats_.push_back(beat);
  }

 private:
  std::vector<BeatTime>& beats_;
};

}  // namespace

bool CollectBeatTimes(const WalkPlan& plan, std::vector<BeatTime>& beats) {
  BeatTimeSink sink(beats);
  plan.Walk(sink);
  return beats.size() <= kMostChartBeats;
}

}  // namespace beatmarks
