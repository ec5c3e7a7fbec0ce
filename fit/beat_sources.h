#pragma once

// Where the beats of a performance come from (MAP with --fit, BEATS in
// messages): the times of a beat list as --locate reads them (one time a
// line, a label track, a CSV with a "time" column), or the cue points of a
// WAV file as audio editors save them.
//  - A label "M.B" (or "M.B.1"), as the program's own labels and markers are
//    named, gives the beat's position; so do a CSV's "measure" and "beat"
//    columns (with a "division" column, its rows must be divisions 1).
//    Either every beat has a position or none has.
//  - A cue point lies at a sample position of the WAV file's rate (its
//    sample offset in the data chunk); a `labl` entry of a LIST/adtl chunk
//    names it. Cue points are taken in order of position, whatever their order
//    in the chunks; those at or past the end of the audio data mark nothing
//    that was played and are left out (and counted).
// Every problem is one line that names the file and the line or the cue
// point. Times in milliseconds (a median interval over 20 s) are refused.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "audio/riff_chunks.h"
#include "fit/beat_list.h"
#include "locate/times_reader.h"

namespace beatmarks {

// How to read them: beats a measure without positions, and whether taps are
// mended (a list then may begin with a pickup of `pickup` beats).
struct BeatReading {
  BeatReading(std::int32_t beats) : meter(beats) {}  // NOLINT: a meter alone reads strictly
  std::int32_t meter = 4;
  bool mend = false;
  std::int32_t pickup = 0;
  std::int64_t mostAdded = kMostMended;  // beats added in one gap at most
  std::string name = "BEATS";  // the file's, as messages name it
  bool oneIsEnough = false;  // a tap that anchors a recording heard whole
};

struct BeatsRead {
  BeatList beats;
  bool cuePoints = false;     // read from a WAV file's cue points
  std::uint32_t sampleRate = 0;  // the WAV file's
  std::uint64_t cuesPastEnd = 0;  // cue points left out
  std::vector<TapRepair> repairs;  // what mending did, in order
};

bool ReadBeatsText(std::string_view bytes, const BeatReading& how, BeatsRead& read, std::string& error);
// The beats as the reader gives them (`expected`: how many to make room for).
bool ReadBeatsText(TimesReader& reader, const BeatReading& how, BeatsRead& read, std::string& error,
                   std::size_t expected = 0);
bool ReadCueBeats(const ByteSource& source, const BeatReading& how, BeatsRead& read, std::string& error);

// The file NAME (a file, a pipe, or standard input for "-"), opened once:
// a RIFF file for its cue points, else text. What keeps it from being read
// is "NAME: REASON" (InputFile's reasons); messages on what it
// holds name it (ShownFileName).
bool ReadBeatsFile(const std::string& name, const BeatReading& how, BeatsRead& read, std::string& error);

// The warning on the cue points left out, or empty: "2 cue points past the
// end of the audio data left out".
std::string CuesLeftOut(const BeatsRead& read);

}  // namespace beatmarks
