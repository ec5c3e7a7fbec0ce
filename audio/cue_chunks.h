#pragma once

// The marker chunks of a WAV file: a `cue ` chunk with a cue point on every
// beat and a LIST/adtl chunk naming each one "M.B" in a `labl` entry; and
// the cue points of a WAV file read back.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "audio/beat_marks.h"
#include "audio/mark_source.h"
#include "audio/riff_chunks.h"

namespace beatmarks {

// Takes bytes in order; false stops the writing.
using ByteSink = std::function<bool(std::string_view)>;

struct MarkerPlan {
  std::int64_t count = 0;    // beats inside the audio
  std::int64_t leftOut = 0;  // beats at or past its end (counted, not gone through)
  std::uint64_t bytes = 0;   // both chunks with their pad bytes; 0 without markers
  bool outOfOrder = false;   // a mark went back, or lay before frame 0
};

// Which beats of audio `frameCount` frames long get a marker, and the size of
// the chunks that hold them. The marks are gone through up to the end of the
// audio only; once the chunks would pass a WAV file's limit, `bytes` is
// beyond it and the count stops there.
MarkerPlan PlanMarkers(MarkSource& marks, std::int64_t frameCount);

// Writes both chunks (nothing when there is no marker) in small pieces. The
// plan's size must be within a WAV file's limit.
bool WriteMarkerChunks(MarkSource& marks, std::int64_t frameCount, const ByteSink& sink);

// A cue point as audio editors save it: its id, its sample offset in the
// data chunk, and the text of the labl entry with its id (empty without one).
struct CuePoint {
  std::uint32_t id = 0;
  std::uint32_t sample = 0;
  std::string name;
};

struct CuePointsRead {
  std::vector<CuePoint> points;  // in order of position; of one position, as stored
  std::uint64_t pastEnd = 0;     // at or past the end of the audio: left out
};

// The cue points of every `cue ` chunk, named by the labl entries of every
// LIST/adtl chunk, of a file ReadWavLayout accepted as `layout`. One at or
// past the last frame marks no audio (a file cut after it was marked, a
// damaged chunk) and is only counted. False with the problem in one line.
bool ReadCuePoints(const ByteSource& source, const WavLayout& layout, CuePointsRead& read,
                   std::string& error);

}  // namespace beatmarks
