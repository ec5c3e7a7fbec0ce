#include "app/audio_run.h"

#include <cstdio>
#include <vector>

#include "audio/audio_file.h"
#include "audio/beat_marks.h"
#include "audio/wav_markers.h"
#include "terminal/output.h"

namespace beatmarks {
namespace {

// The beats and divisions of the range at their exact sample positions, and
// where the range ends.
class MarkSink : public BeatSink {
 public:
  explicit MarkSink(std::uint32_t rate) : rate_(rate) {}

  void Pass(const Stretch&, DivisionCount) override {}
  void MeasureEnd(std::int64_t) override {}
  void Division(const BeatEvent& e) override {
    const MarkKind kind = e.division != 0 ? MarkKind::kDivision
                          : e.beat == 0   ? MarkKind::kDownbeat
                                          : MarkKind::kBeat;
    marks.push_back({e.stretch.time->Sample(e.index, rate_), static_cast<std::int32_t>(e.measure + 1),
                     e.beat + 1, kind});
    end = e.stretch.time->Sample(e.index + 1, rate_);
  }

  std::vector<BeatMark> marks;
  std::int64_t end = 0;  // the frame where the last division of the range ends

 private:
  const std::uint32_t rate_;
};

MarkSink Marks(const TimelineMaker& make, const Rational& offset, std::uint32_t rate,
               const ProgramState& s) {
  MarkSink sink(rate);
  WalkBeats(*make(offset), s.startMeasure, s.stopMeasure, s.divisions, sink);
  return sink;
}

int Report(const std::string& output, const AudioOutcome& outcome) {
  if (!outcome.ok) {
    PrintLine(outcome.error);
    return 1;
  }
  Print("Saved %s with %lld markers\n", output.c_str(),
        static_cast<long long>(outcome.markersWritten));
  if (outcome.markersLeftOut > 0) {
    Print("Warning: %lld markers past the end of the recording left out\n",
          static_cast<long long>(outcome.markersLeftOut));
  }
  return 0;
}

// A sample rate given on top of the recording's own must be the same.
bool RateAgrees(const Options& o, const Recording& recording, const ProgramState& s) {
  const bool given = o.rate || o.positional.size() >= 3;
  if (!given || s.sampleRate == recording.SampleRate()) return true;
  std::fprintf(stderr,
               "beatmarks: the recording's sample rate is %d, not %d\n"
               "Try 'beatmarks --help'.\n",
               recording.SampleRate(), s.sampleRate);
  return false;
}

int IntoRecording(const Options& o, const std::string& output, const TimelineMaker& make,
                  const Rational& offset, ProgramState& s) {
  Recording recording(o.into->c_str());
  if (!recording.Ok()) {
    PrintLine(recording.Error());
    return 1;
  }
  if (!RateAgrees(o, recording, s)) return 2;
  s.sampleRate = recording.SampleRate();
  MarkSink sink = Marks(make, offset, static_cast<std::uint32_t>(s.sampleRate), s);
  FlushOutput();  // the messages so far come before anything written
  return Report(output, recording.SaveWithMarkers(output.c_str(), sink.marks));
}

}  // namespace

int AudioExport(const Options& o, const std::string& output, const TimelineMaker& make,
                const Rational& offset, ProgramState& s) {
  if (!AudioSupported() && !o.into) {
    std::fputs("beatmarks: this build has no audio support (libsndfile)\n", stderr);
    return 2;
  }
  if (o.into) return IntoRecording(o, output, make, offset, s);
  MarkSink sink = Marks(make, offset, static_cast<std::uint32_t>(s.sampleRate), s);
  ClickTrackSettings settings;
  settings.sampleRate = s.sampleRate;
  settings.frameCount = sink.end;
  FlushOutput();
  return Report(output, SaveClickTrack(output.c_str(), settings, sink.marks));
}

}  // namespace beatmarks
