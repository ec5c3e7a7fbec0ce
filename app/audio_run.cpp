#include "app/audio_run.h"

#include <cstdio>

#include <string>
#include <string_view>

#include "app/run_messages.h"
#include "app/run_report.h"
#include "audio/audio_file.h"
#include "audio/beat_marks.h"
#include "audio/walked_marks.h"
#include "audio/wav_markers.h"
#include "terminal/output.h"

namespace beatmarks {
namespace {

// Why the output was not made. A run with options says it as an error about
// OUTPUT: "beatmarks: out.flac: flac does not support this sample rate".
int AudioFailed(const std::string& output, const AudioOutcome& outcome) {
  if (!UnixMessages()) {
    PrintLine(outcome.error);
    SayWhy(output, outcome.writeError);
    return 1;
  }
  constexpr std::string_view kWriting = "Error: Could not write file ";
  const std::string& error = outcome.error;
  if (error.rfind(kWriting, 0) != 0) {
    PrintLine(AboutFile(output, error));
    return 1;
  }
  // The cause libsndfile gave closes the line: "... NAME (cause)!".
  const std::size_t cause = error.ends_with(")!") ? error.rfind(" (") : std::string::npos;
  if (outcome.writeError != 0 || cause == std::string::npos || cause < kWriting.size()) {
    return CouldNotWrite(output, outcome.writeError);
  }
  PrintLine("Error: " + output + ": " + error.substr(cause + 2, error.size() - cause - 4));
  return 1;
}

// "Saved NAME with N markers", then what was left out and why.
int Report(const std::string& output, const AudioOutcome& outcome, const char* audioName) {
  if (!outcome.ok) return AudioFailed(output, outcome);
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
  return !given || s.sampleRate == recording.SampleRate();
}

WalkedMarks MarksOf(const WalkPlan& plan) {
  return WalkedMarks(plan.timelines, plan.rate, plan.start, plan.stop, plan.divisions,
                     plan.firstMeasureNumber);
}

int IntoRecording(const OutputRequest& r) {
  Recording recording(r.options.into->c_str());
  if (!recording.Ok()) {
    const std::string& into = *r.options.into;
    const std::string& error = recording.Error();
    PrintLine(error.rfind("Error: " + into + ": ", 0) == 0 ? error : AboutFile(into, error));
    return 1;
  }
  // A fault in the input, not in the usage: one error line, as --snap says it.
  if (!RateAgrees(r.options, recording, r.state)) {
    Print("Error: %s: its sample rate is %d, not the %d given\n", r.options.into->c_str(),
          static_cast<int>(recording.SampleRate()), static_cast<int>(r.state.sampleRate));
    return 1;
  }
  r.plan.rate = static_cast<std::uint32_t>(recording.SampleRate());
  WalkedMarks marks = MarksOf(r.plan);
  FlushOutput();  // the messages so far come before anything written
  return Report(r.output, recording.SaveWithMarkers(r.output.c_str(), marks), "recording");
}

}  // namespace

int AudioOutput(const OutputRequest& r) {
  if (!AudioSupported() && !r.options.into) {
    std::fputs("beatmarks: this build has no audio support (libsndfile)\n", stderr);
    return 2;
  }
  if (r.options.into) return IntoRecording(r);
  WalkedMarks marks = MarksOf(r.plan);
  ClickTrackSettings settings;
  settings.sampleRate = static_cast<std::int32_t>(r.plan.rate);
  settings.frameCount = marks.EndFrame();
  FlushOutput();
  return Report(r.output, SaveClickTrack(r.output.c_str(), settings, marks), "track");
}

}  // namespace beatmarks
