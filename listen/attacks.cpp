#include "listen/attacks.h"

#include <algorithm>
#include <cmath>

namespace beatmarks {
namespace {

// Frames examined a read, besides the context around them.
constexpr double kStretchSeconds = 1.0;

}  // namespace

AttackScanner::AttackScanner(RecordingReader& recording)
    : recording_(recording), curve_(recording.Rate()), first_(recording.Rate()) {}

bool AttackScanner::Scan(std::int64_t from, std::int64_t to, std::vector<Attack>& attacks,
                         std::string& error) {
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
    for (const OnsetPeak& peak : peaks_) {
      attacks.push_back({first_.Find(mono_.data(), origin, size, peak.frame), peak.strengthDb});
    }
  }
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
