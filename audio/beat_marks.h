#pragma once

// The beats and divisions an audio file is made from: exact sample positions
// from the start of the piece, in order.

#include <cstdint>
#include <span>
#include <string>

namespace beatmarks {

// Strongest first: where several marks share a frame, the strongest sounds.
enum class MarkKind : std::uint8_t {
  kDownbeat,  // first beat of a measure: accented click and a marker
  kBeat,      // other beats: plain click and a marker
  kDivision,  // divisions inside a beat: quiet tick, no marker
};

struct BeatMark {
  std::int64_t frame = 0;    // sample position from the start of the file
  std::int64_t measure = 1;  // as shown, for the marker name "M.B"
  std::int32_t beat = 1;     // 1-based within the measure
  MarkKind kind = MarkKind::kBeat;
};

// What an audio job did: on failure `error` holds the one line to show.
struct AudioOutcome {
  bool ok = false;
  std::string error;
  std::int64_t markersWritten = 0;
  std::int64_t markersLeftOut = 0;  // beats at or past the end of the audio
  std::int64_t markersNotHeld = 0;  // beats a format without markers (FLAC) could not keep
  int writeError = 0;  // the errno of a failed write of the output, if known
};

// A job that failed with this line.
AudioOutcome AudioFailure(std::string line);
// "Error: Could not write file NAME!", with the errno of the cause if known.
AudioOutcome WriteFailure(const std::string& name, int error = 0);

inline bool HasMarker(const BeatMark& mark) { return mark.kind != MarkKind::kDivision; }

// The refusal of marks that go back in time or lie before frame 0.
inline constexpr const char* kOrderError = "Error: Beat positions must be in order and not negative!";

// The largest file a RIFF size field can describe, and the refusal past it.
inline constexpr std::uint64_t kMaxWavBytes = 4ULL << 30;
inline constexpr const char* kTooLargeError = "Error: WAV file would be larger than 4 GiB!";

}  // namespace beatmarks
