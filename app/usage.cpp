#include <string>

#include "app/format_table.h"
#include "app/command_line.h"
#include "audio/audio_formats.h"

namespace beatmarks {
namespace {

// `text` then the words, wrapped at 80 columns under the
// first word.
std::string WrappedWords(std::string text, const std::string& words) {
  constexpr std::size_t kWidth = 79;
  const std::size_t column = text.size();
  std::size_t lineStart = 0;
  for (std::size_t at = 0; at < words.size();) {
    std::size_t end = words.find(' ', at);
    if (end == std::string::npos) end = words.size();
    const std::string word = words.substr(at, end - at);
    const bool first = text.size() - lineStart == column;
    if (!first && text.size() - lineStart + 1 + word.size() > kWidth) {
      text += '\n';
      text.append(column, ' ');
      lineStart = text.size() - column;
    } else if (!first) {
      text += ' ';
    }
    text += word;
    at = end + 1;
  }
  return text + "\n";
}

// "-f, --format=FORMAT" and the names.
std::string FormatOption() { return WrappedWords("  -f, --format=FORMAT   ", FormatNames(true)); }

// The kinds of recording --snap and --follow read, as this build's audio
// library reads them.
std::string RecordingFormats() {
  std::string names;
  for (const std::string& name : ReadableAudioFormats()) names += (names.empty() ? "" : " ") + name;
  if (names.empty()) return "  (none: this build has no audio support)\n";
  return WrappedWords("  ", names);
}

std::string MakeUsage() {
  return R"(Usage: beatmarks [MAP]
       beatmarks [OPTION]... MAP OUTPUT [RATE [START [STOP [DIVISIONS]]]]

Computes the time and sample position of every beat, or of every division of
a beat, of a tempo map. With no argument, or with MAP alone, an interactive
menu reads commands from standard input ('h' there shows its help). With MAP
and OUTPUT, the list is made once and written to OUTPUT ('-' for standard
output; the program's messages then go to standard error).

Options (before the positional arguments; '--' ends them):
)" + FormatOption() + R"(      --exact           the list with exact seconds and samples
      --offset=SECONDS  the time in the recording where measure 1 begins,
                        a decimal of 0 or more, added to every exact time
  -r, --rate=RATE       samples per second, 1 or more
  -s, --start=MEASURE   first measure of the range, 1 or more (numbered as
                        --first-measure or a fit's positions say)
  -e, --stop=MEASURE    last measure of the range, likewise
  -d, --divisions=N     divisions per beat, 1 or more
      --first-measure=N the number of the map's first measure (0 or more,
                        default 1) in every format but the classic list, and
                        in START and STOP
      --beat=UNIT       for MIDI files, what a beat is: denominator (default,
                        the time signature's note value), quarter or click
      --into=REC.wav    with wav: write the recording REC.wav to OUTPUT with a
                        marker on every beat
      --locate=TIMES    with csv, labels or json: where each time of TIMES ('-'
                        standard input) falls in the whole map (no -s, -e):
                        measure, beat, nearest division and the distance
      --fit[=beat|measure]  MAP holds the beat times of a performance (labels,
                        CSV with a time column, one time a line, or a WAV's
                        cue points); every format follows the map fitted to
                        them
      --meter=N         with --fit: beats a measure (default 4; with M.B
                        places, of their first measure); --meter=6/8, 9/8 or
                        12/8: each beat a dotted quarter, 2, 3 or 4 a measure
      --pickup=N        with --fit and beats without places: N beats before
                        the first downbeat (measure 0)
      --strict          with --fit: refuse taps as read instead of mending
                        double taps, missed taps and missing places
      --snap=RECORDING  with --fit: each beat moved to the first sample of the
                        attack it marks in RECORDING (one of the kinds below)
      --snap-window=SECONDS  how far from its tap a beat may move (default
                        0.08, and never 40% of the way to a neighbour)
      --follow          with --snap: find the beats between the taps and after
                        the last one in the recording
      --max-drift=SECONDS  with midi: how far a beat of the file may lie from
                        its exact time (default 0.000001)
      --resolution=N    with chart: ticks a quarter note (default 192)
      --timecode=RATE   a video's frame rate: 24, 25, 29.97, 29.97df (drop
                        frame), 30 or 23.976; csv, labels and json add the
                        timecode HH:MM:SS:FF of the frame each beat falls in,
                        --offset and --locate read timecodes; edl needs it
  -q, --quiet           say nothing but errors
  -h, --help            show this help and exit
  -V, --version         show the version and exit
Named settings override the map file's own; each may not be given together
with its positional argument.

Formats:
)" + FormatHelp() + R"(Every format but list gives exact times rounded once (samples to the nearest,
halves up), takes a text map's tempo as the decimal written, and replaces
OUTPUT safely. A MAP that starts with "MThd" is read as
a Standard MIDI File; its list too uses exact times.

Recordings (--snap, --follow) may be any of these kinds of file:
)" + RecordingFormats() + R"(--into takes a WAV file.

Exit status: 0 when the whole output was saved, 1 when it was not or only in
part, 2 for a usage error (and for wav in a build without audio support).
)";
}

}  // namespace

std::string VersionText() {
  const std::string library = AudioLibraryVersion();
  return "beatmarks 1.0\n" + (library.empty() ? std::string("audio support: no (built without libsndfile)\n")
                                                 : "audio support: yes (" + library + ")\n");
}

const char* UsageText() {
  static const std::string text = MakeUsage();
  return text.c_str();
}

}  // namespace beatmarks
