#include "listen/attacks.h"

#include <algorithm>
#include <cmath>

namespace beatmarks {
namespace {

// Frames examined a read, besides the context around them.
constexpr double kStretchSeconds = 1.0;
// The end of a recording where an attack is only its cut.
constexpr double kCutSeconds = 0.010;

}  // namespace

AttackScanner::AttackScanner(RecordingReader& recording)
    : recording_(recording), curve_(recording.Rate()), first_(recording.Rate()) {}

// Reads [from, to) a stretch at a time with the context both the detector
// and the placing need, and hands each stretch's rises to `found`.
template <typename Found>
bool AttackScanner::EachStretch(std::int64_t from, std::int64_t to, Found found, std::string& error) {
  from = std::max<std::int64_t>(from, 0);
  to = std::min(to, recording_.Frames());
  const std::int64_t stretch = std::max<std::int64_t>(
      curve_.Hop(), std::llround(kStretchSeconds * recording_.Rate()));
  const std::int64_t before = curve_.ContextBefore() + first_.ContextBefore();
  const std::int64_t after = std::max(curve_.ContextAfter(), first_.ContextAfter() + curve_.Hop());
  for (std::int64_t at = from; at < to; at += stretch) {
    const std::int64_t end = std::min(to, at + stretch);
    const std::int64_t origin = at - before;
    const std::int64_t size = end - at + before + after;
    if (!recording_.ReadMono(origin, size, mono_, error)) return false;
    peaks_.clear();
    curve_.Peaks(mono_.data(), origin, size, at, end, kAttackFloorDb, peaks_);
    found(origin, size);
  }
  return true;
}

bool AttackScanner::Scan(std::int64_t from, std::int64_t to, std::vector<Attack>& attacks,
                         std::string& error) {
  // A rise in the recording's last moments is where it was cut off (the
  // silence past its end sounds like a click): no sound follows to hear.
  const std::int64_t cut = recording_.Frames() - std::llround(kCutSeconds * recording_.Rate());
  return EachStretch(from, to, [&](std::int64_t origin, std::int64_t size) {
    for (const OnsetPeak& peak : peaks_) {
      const std::int64_t sample = first_.Find(mono_.data(), origin, size, peak.frame);
      if (sample < cut) attacks.push_back({sample, peak.strengthDb, peak.levelDb});
    }
  }, error);
}

bool AttackScanner::ScanRises(std::int64_t from, std::int64_t to, std::vector<OnsetPeak>& rises,
                              std::string& error) {
  return EachStretch(from, to, [&](std::int64_t, std::int64_t) {
    rises.insert(rises.end(), peaks_.begin(), peaks_.end());
  }, error);
}

bool AttackScanner::Place(const OnsetPeak& rise, std::int64_t& sample, std::string& error, float* newSoundDb) {
  const std::int64_t origin = rise.frame - first_.ContextBefore();
  const std::int64_t size = first_.ContextBefore() + first_.ContextAfter();
  if (!recording_.ReadMono(origin, size, mono_, error)) return false;
  sample = first_.Find(mono_.data(), origin, size, rise.frame);
  if (newSoundDb) *newSoundDb = first_.NewSoundDb();
  return true;
}

bool ListAttacks(const std::string& path, double fromSeconds, double toSeconds, AttackList& list,
                 std::string& error) {
  RecordingReader recording;
  if (!recording.Open(path, error)) return false;
  list = {recording.Rate(), recording.Frames(), {}};
  if (!(fromSeconds < toSeconds)) return true;
  const double rate = recording.Rate();
  const double limit = static_cast<double>(recording.Frames());
  const auto from = static_cast<std::int64_t>(std::clamp(std::ceil(fromSeconds * rate), 0.0, limit));
  const auto to = static_cast<std::int64_t>(std::clamp(std::ceil(toSeconds * rate), 0.0, limit));
  AttackScanner scanner(recording);
  return scanner.Scan(from, to, list.attacks, error);
}

}  // namespace beatmarks
