#pragma once

// Click tracks: mono audio with a click on every beat and division, written
// in blocks as WAV (with a marker on every beat) or, for a name ending in
// ".flac", as FLAC. Needs libsndfile; without it every write is refused.

#include <cstdint>
#include <span>

#include "audio/beat_marks.h"
#include "audio/mark_source.h"

namespace beatmarks {

enum class SampleFormat : std::uint8_t { kPcm16, kPcm24, kPcm32, kFloat };

struct ClickTrackSettings {
  std::int32_t sampleRate = 44100;
  std::int64_t frameCount = 0;  // length of the track; clicks from here on are left out
  SampleFormat format = SampleFormat::kPcm24;
};

// Whether this build can write audio files.
bool AudioSupported();

bool IsFlacName(const char* name);

// Writes the track into a new, empty file open for reading and writing at
// `fd`; `name` chooses FLAC or WAV and names the file in messages.
AudioOutcome WriteClickTrack(int fd, const char* name, const ClickTrackSettings& settings,
                             MarkSource& marks);

// The whole job: the file `name` is replaced only once the track is complete.
AudioOutcome SaveClickTrack(const char* name, const ClickTrackSettings& settings,
                            MarkSource& marks);

}  // namespace beatmarks
