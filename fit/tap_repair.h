#pragma once

// Taps as people make them, mended: a tap far closer to the one before than
// the local beat (a double tap) is dropped, and so is a tap without a position
// among taps with one; a gap of about two local beats in a list (a missed
// tap) gets a beat in its middle; between positions, the places missing get
// their beats, evenly spaced, exactly: the ticks are made finer where the
// even places need it. "Local beat": the median of the eight intervals
// around, which one mistake cannot move far.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fit/beat_place.h"

namespace beatmarks {

struct BeatList;

// The taps as read, in order of time: their ticks and, for a list with
// positions, each one's place as written (nothing where a tap has none) and
// the line or cue point it came from.
struct Taps {
  std::vector<std::uint64_t> ticks;
  std::vector<std::optional<BeatPlace>> places;  // empty for a plain list
  std::vector<std::uint64_t> sources;            // with places
  std::uint64_t perSecond = 1;                   // ticks a second
};

struct TapRepair {
  // kNoAttack: a tap the recording has no attack for (fit/heard_repair.h).
  enum class Kind { kDoubleTap, kNoPosition, kMissed, kNoAttack } kind = Kind::kMissed;
  std::uint64_t ticks = 0;  // the tap dropped, or the first beat added
  std::size_t beat = 0;     // in the mended list: the first beat added, or the beat after the tap dropped
  std::uint64_t count = 1;  // beats added
  std::uint64_t gap = 0;    // ticks from the tap kept before (dropped), or between the two taps (added)
  std::uint64_t local = 0;  // the local beat, in ticks
  bool heard = false;       // decided by the recording's attacks
};

// Beats added in one gap at most: a position far ahead is a slip in the
// file, refused as written, not a run of missed taps. A run that finds the
// beats in a recording (--follow) takes gaps of any length up to the second.
inline constexpr std::int64_t kMostMended = 64;
inline constexpr std::int64_t kMostFollowed = 1'000'000;

// Mends `taps` in place (places of added beats as the positions count them)
// and says what it did. Added beats lie exactly on their even places: the
// ticks (and perSecond) are multiplied by the least factor that does it,
// unless the times would then pass 2^64 - 1 ticks (then to the nearest tick). `meter`: the measure's length before positions show
// one; `most`: beats added in one gap at most.
std::vector<TapRepair> RepairTaps(Taps& taps, std::int32_t meter, std::int64_t most = kMostMended);

// One line for each of the first `most` repairs, then one that counts the
// rest: "beat 7.4 at 15.915000 s added: ...", measures from `firstNumber`.
std::vector<std::string> RepairLines(const std::vector<TapRepair>& repairs, const BeatList& beats,
                                     std::int64_t firstNumber, std::size_t most);

}  // namespace beatmarks
