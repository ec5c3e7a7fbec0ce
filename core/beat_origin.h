#pragma once

// Where each beat of a listened run came from, for the outputs to say: as
// tapped, moved to its attack, found in the recording by following, placed
// without an attack, or heard without any tap.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace beatmarks {

enum class BeatOrigin : std::uint8_t { kNone, kTapped, kSnapped, kFollowed, kPlaced, kHeard };

// "tapped", "snapped", "followed", "placed", "heard"; "" for kNone.
const char* OriginName(BeatOrigin origin);

// A beat's place (measure index from 0, beat from 0) and its origin.
struct OriginAt {
  std::int64_t measure = 0;
  std::int32_t beat = 0;
  BeatOrigin origin = BeatOrigin::kNone;
};

// The origins of a run's beats in order of place; shared by the plan's outputs.
using BeatOrigins = std::shared_ptr<const std::vector<OriginAt>>;

// Looks up the beats of a walk, which come in order of place: each lookup
// moves on from the last. A place not in the list has no origin.
class OriginCursor {
 public:
  explicit OriginCursor(const std::vector<OriginAt>* origins) : origins_(origins) {}

  BeatOrigin At(std::int64_t measure, std::int32_t beat);

 private:
  const std::vector<OriginAt>* origins_;
  std::size_t next_ = 0;
};

}  // namespace beatmarks
