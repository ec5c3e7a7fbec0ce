#include "app/audio_run.h"

#include <cstdio>

#include "app/format_run.h"
#include "app/run_report.h"
#include "audio/audio_file.h"
#include "audio/beat_marks.h"
#include "audio/walked_marks.h"
#include "audio/wav_markers.h"
#include "terminal/output.h"

namespace beatmarks {
namespace {

// "Saved NAME with N markers", then what was left out and why.
int Report(const std::string& output, const AudioOutcome& outcome, const char* audioName) {
  if (!outcome.ok) {
    PrintLine(outcome.error);
    SayWhy(output, outcome.writeError);
    return 1;
  }
  Print("Saved %s with %lld markers\n", output.c_str(),
        static_cast<long long>(outcome.markersWritten));
  if (outcome.markersLeftOut > 0) {
    Print("Warning: %lld markers past the end of the %s left out\n",
          static_cast<long long>(outcome.markersLeftOut), audioName);
  }
  if (outcome.markersNotHeld > 0) {
    Print("Warning: %lld markers not written: FLAC holds no cue points; use .wav for markers\n",
          static_cast<long long>(outcome.markersNotHeld));
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

WalkedMarks MarksOf(const TimelineMaker& make, const ProgramState& s, std::int64_t first) {
  return WalkedMarks(make, static_cast<std::uint32_t>(s.sampleRate), s.startMeasure,
                     s.stopMeasure, s.divisions, first);
}

int IntoRecording(const Options& o, const std::string& output, const TimelineMaker& make,
                  ProgramState& s) {
  Recording recording(o.into->c_str());
  if (!recording.Ok()) {
    PrintLine(recording.Error());
    return 1;
  }
  if (!RateAgrees(o, recording, s)) return 2;
  s.sampleRate = recording.SampleRate();
  WalkedMarks marks = MarksOf(make, s, FirstMeasureNumber(o));
  FlushOutput();  // the messages so far come before anything written
  return Report(output, recording.SaveWithMarkers(output.c_str(), marks), "recording");
}

}  // namespace

int AudioExport(const Options& o, const std::string& output, const TimelineMaker& make,
                ProgramState& s) {
  if (!AudioSupported() && !o.into) {
    std::fputs("beatmarks: this build has no audio support (libsndfile)\n", stderr);
    return 2;
  }
  if (o.into) return IntoRecording(o, output, make, s);
  WalkedMarks marks = MarksOf(make, s, FirstMeasureNumber(o));
  ClickTrackSettings settings;
  settings.sampleRate = s.sampleRate;
  settings.frameCount = marks.EndFrame();
  FlushOutput();
  return Report(output, SaveClickTrack(output.c_str(), settings, marks), "track");
}

}  // namespace beatmarks
