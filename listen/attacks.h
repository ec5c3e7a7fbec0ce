#pragma once

// The attacks of a recording in a stretch of it: each on its first sample,
// with a strength, for a caller that chooses among them (a tap's snap, a
// beat follower). Stretches are read as they are examined; memory holds one
// stretch of about a second whatever the recording's length.

#include <cstdint>
#include <string>
#include <vector>

#include "listen/first_sample.h"
#include "listen/onset_curve.h"
#include "listen/recording_reader.h"

namespace beatmarks {

struct Attack {
  std::int64_t sample = 0;  // first sample, a frame of the recording
  float strengthDb = 0;     // rise of energy over what sounded before, in dB
  float levelDb = 0;        // energy just after, in dB of full scale
};

// Rises weaker than this are not attacks (noise over a few milliseconds
// rises by up to about 9 dB; attacks on the test performances by 12 dB and
// more).
inline constexpr float kAttackFloorDb = 6.0f;

class AttackScanner {
 public:
  explicit AttackScanner(RecordingReader& recording);

  // Appends the attacks whose detector hop starts in frames [from, to)
  // (clipped to the recording), in order of their hops; false with `error`
  // where the file fails to read. Calls with increasing stretches that do not
  // overlap give each attack once.
  bool Scan(std::int64_t from, std::int64_t to, std::vector<Attack>& attacks, std::string& error);

  // The detector's rises alone, for a caller that places only those it
  // chooses: appended in order, as Scan finds them.
  bool ScanRises(std::int64_t from, std::int64_t to, std::vector<OnsetPeak>& rises, std::string& error);
  // The first sample of a rise that ScanRises found, and how far the new
  // sound there rises over what came before (FirstSample::NewSoundDb).
  bool Place(const OnsetPeak& rise, std::int64_t& sample, std::string& error, float* newSoundDb = nullptr);

 private:
  RecordingReader& recording_;
  OnsetCurve curve_;
  FirstSample first_;
  std::vector<float> mono_;
  std::vector<OnsetPeak> peaks_;

  template <typename Found>
  bool EachStretch(std::int64_t from, std::int64_t to, Found found, std::string& error);
};

struct AttackList {
  std::uint32_t rate = 0;
  std::int64_t frames = 0;
  std::vector<Attack> attacks;
};

// Every attack from `fromSeconds` up to `toSeconds` (clipped to the
// recording) of the recording at `path`. False with one line in `error`
// for a file that is not audio or holds no samples, or in a build without
// libsndfile.
bool ListAttacks(const std::string& path, double fromSeconds, double toSeconds, AttackList& list,
                 std::string& error);

}  // namespace beatmarks
