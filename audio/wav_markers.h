#pragma once

// Beat markers in WAV files: added to a click track just written, or put
// into a copy of a recording in place of its old markers, every other chunk
// and every audio byte copied unchanged.

#include <cstdint>
#include <span>
#include <string>

#include "audio/beat_marks.h"
#include "audio/mark_source.h"
#include "audio/riff_chunks.h"

namespace beatmarks {

// Appends the marker chunks to the WAV file open at `fd` (read and write),
// after its last chunk, and sets the RIFF size to match.
AudioOutcome AppendMarkers(int fd, MarkSource& marks, std::int64_t frameCount);

// A recording opened and checked once; its sample rate and length tell the
// caller where the beats fall.
class Recording {
 public:
  explicit Recording(const char* name);
  ~Recording();
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }  // the refusal line
  std::int32_t SampleRate() const { return static_cast<std::int32_t>(layout_.sampleRate); }
  std::int64_t FrameCount() const { return layout_.frameCount; }

  // Writes the copy with the new markers to a new, empty file at `fd`
  // (`output` names it in messages). Beats at or past the end of the audio
  // are left out and counted.
  AudioOutcome CopyWithMarkers(int fd, const std::string& output,
                               MarkSource& marks) const;

  // The whole job into the file `output`, which must not be the recording
  // itself; the output is replaced only when the copy is complete.
  AudioOutcome SaveWithMarkers(const char* output, MarkSource& marks) const;

 private:
  // False on failure; writeFailed tells a failed write from a failed read.
  bool CopyChunk(int fd, const RiffChunk& chunk, bool& writeFailed) const;

  std::string name_;
  int fd_ = -1;
  WavLayout layout_;
  std::string error_;
};

}  // namespace beatmarks
