#include "audio/walked_marks.h"

#include <algorithm>
#include <utility>

namespace beatmarks {
namespace {

// Marks a window holds.
constexpr std::size_t kWindowMarks = 1 << 15;

BeatMark MarkOf(const BeatEvent& e, std::uint32_t rate, std::int64_t number) {
  const MarkKind kind = e.division != 0 ? MarkKind::kDivision
                        : e.beat == 0   ? MarkKind::kDownbeat
                                        : MarkKind::kBeat;
  return {e.stretch.time->Sample(e.index, rate), number,
          e.beat + 1, kind};
}

// Gathers marks until the window is full, and says where the next one
// takes up the walk: a measure, and divisions into it.
class WindowSink final : public BeatSink {
 public:
  WindowSink(std::vector<BeatMark>& marks, std::uint32_t rate, std::int32_t divisions)
      : marks_(marks), rate_(rate), divisions_(divisions) {}
  void Pass(const Stretch&, DivisionCount) override {}
  void Division(const BeatEvent& e) override {
    marks_.push_back(MarkOf(e, rate_, MeasureNumber(e.measure)));
    if (marks_.size() < kWindowMarks) return;
    full_ = true;
    resume_ = e.measure;
    skip_ = static_cast<DivisionCount>(e.beat) * static_cast<DivisionCount>(divisions_) +
            static_cast<DivisionCount>(e.division) + 1;
  }
  void MeasureEnd(std::int64_t) override {}
  bool Full() const override { return full_; }
  std::int64_t resume() const { return resume_; }
  DivisionCount skip() const { return skip_; }

 private:
  std::vector<BeatMark>& marks_;
  const std::uint32_t rate_;
  const std::int32_t divisions_;
  bool full_ = false;
  std::int64_t resume_ = 0;
  DivisionCount skip_ = 0;
};

// Beats begun, and divisions, passed before the first one in the range.
class PassedBeats final : public BeatSink {
 public:
  explicit PassedBeats(std::int32_t divisions) : perBeat_(static_cast<DivisionCount>(divisions)) {}
  void Pass(const Stretch& s, DivisionCount count) override {
    const auto into = static_cast<DivisionCount>(s.firstDivision);
    beats_ += static_cast<std::int64_t>(CeilDiv(into + count) - CeilDiv(into));
    divisions_ += count;
  }
  void Division(const BeatEvent&) override { reached_ = true; }
  void MeasureEnd(std::int64_t) override {}
  bool Full() const override { return reached_; }
  std::int64_t beats() const { return beats_; }
  DivisionCount divisions() const { return divisions_; }

 private:
  DivisionCount CeilDiv(DivisionCount n) const { return (n + perBeat_ - 1) / perBeat_; }
  const DivisionCount perBeat_;
  std::int64_t beats_ = 0;
  DivisionCount divisions_ = 0;
  bool reached_ = false;
};

// Where the last division of a walk ends: the frame after it, and at least
// the one after its onset; 0 without a division.
class LastDivisionEnd final : public BeatSink {
 public:
  explicit LastDivisionEnd(std::uint32_t rate) : rate_(rate) {}
  void Pass(const Stretch&, DivisionCount) override {}
  void Division(const BeatEvent& e) override {
    const LinearTime& time = *e.stretch.time;
    end_ = std::max(time.Sample(e.index + 1, rate_), time.Sample(e.index, rate_) + 1);
  }
  void MeasureEnd(std::int64_t) override {}
  std::int64_t end() const { return end_; }

 private:
  const std::uint32_t rate_;
  std::int64_t end_ = 0;
};

}  // namespace

WalkedMarks::WalkedMarks(TimelineMaker make, std::uint32_t rate, std::int64_t start,
                         std::int64_t stop, std::int32_t divisions, std::int64_t firstNumber)
    : make_(std::move(make)), rate_(rate), start_(std::max<std::int64_t>(start, 0)), stop_(stop),
      divisions_(divisions), firstNumber_(firstNumber) {
  Restart();
}

void WalkedMarks::Restart() {
  next_ = start_;
  skip_ = 0;
  walked_ = start_ > stop_;
  window_.clear();
  at_ = 0;
}

bool WalkedMarks::Fill() {
  window_.clear();
  at_ = 0;
  if (walked_) return false;
  WindowSink sink(window_, rate_, divisions_);
  sink.NumberMeasuresFrom(firstNumber_);
  WalkBeats(*make_(), next_, stop_, divisions_, sink, skip_);
  walked_ = !sink.Full();
  next_ = sink.resume();
  skip_ = sink.skip();
  return !window_.empty();
}

bool WalkedMarks::Next(BeatMark& mark) {
  if (at_ >= window_.size() && !Fill()) return false;
  mark = window_[at_++];
  return true;
}

std::int64_t WalkedMarks::BeatsBefore(std::int64_t measure) {
  PassedBeats sink(divisions_);
  WalkBeats(*make_(), measure, measure, divisions_, sink);
  return sink.beats();
}

DivisionCount WalkedMarks::DivisionsBefore(std::int64_t measure) {
  PassedBeats sink(divisions_);
  WalkBeats(*make_(), measure, measure, divisions_, sink);
  return sink.divisions();
}

std::int64_t WalkedMarks::BeatsThroughStop() {
  // No map reaches the last 64-bit measure: up to it is the whole map.
  return BeatsBefore(stop_ < INT64_MAX ? stop_ + 1 : stop_);
}

std::int64_t WalkedMarks::MarkerCount() {
  if (start_ > stop_) return 0;
  return BeatsThroughStop() - BeatsBefore(start_);
}

std::int64_t WalkedMarks::EndFrame() {
  // The last measure of the range that holds a division: `stop`, or the
  // map's last measure when the range runs past it (found by halving).
  const std::int64_t total = BeatsThroughStop();
  if (start_ > stop_ || total == BeatsBefore(start_)) return 0;
  std::int64_t low = start_, high = stop_;  // the answer lies in [low, high]
  while (low < high) {
    const std::int64_t middle = low + (high - low) / 2 + (high - low) % 2;  // rounded up, without overflow
    if (BeatsBefore(middle) < total) {
      low = middle;
    } else {
      high = middle - 1;
    }
  }
  // Its last division alone, however many the measure holds.
  const DivisionCount inMeasure = DivisionsBefore(low + 1) - DivisionsBefore(low);
  LastDivisionEnd last(rate_);
  WalkBeats(*make_(), low, low, divisions_, last, inMeasure - 1);
  return last.end();
}

}  // namespace beatmarks
