#pragma once

// The exact times of the grid index's parts (its stretches that hold
// divisions). Held for every part, they would be most of a long grid's
// memory (some 150 bytes each: a MIDI file of 100,000 tempo changes). The
// first `kept` parts keep theirs; after them, a copy of the timeline is kept
// every kGroup parts, and the times of the few parts a time needs them for
// are made again from the copy before them, and kept in a small cache. All
// that is asked comes back by value: the next question may replace a part
// in the cache.

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "core/beat_walk.h"
#include "exact/exact_time.h"
#include "exact/rational.h"

namespace beatmarks {

class PartTimes {
 public:
  static constexpr std::size_t kKeptParts = 2048;
  static constexpr std::size_t kGroup = 16;
  static constexpr std::size_t kCached = 1024;

  // The times of part k as (base + k x step) / den in machine integers;
  // den 0 where they do not fit.
  struct Line {
    __int128 base, step, den;
  };

  explicit PartTimes(std::size_t kept = kKeptParts) : most_(kept) {}

  // The timeline before its first stretch, then each part in turn with the
  // timeline as it was when it gave that part (a part kept, with its times).
  void Begin(const Timeline& timeline);
  void Add(Stretch& stretch, const Timeline& timeline);
  // Room for about this many parts.
  void Reserve(std::size_t parts);

  std::size_t size() const { return parts_; }
  // Whether part j keeps its times, and they (j below size()).
  bool Keeps(std::size_t j) const { return j < most_; }
  const LinearTime& Kept(std::size_t j) const { return kept_[j].time; }

  double Nearest(std::size_t part, unsigned __int128 k) const;
  Rational At(std::size_t part, unsigned __int128 k) const;
  bool FixedBounds(std::size_t part, unsigned __int128 k, LinearTime::Fixed& low,
                   unsigned __int128& error) const;
  Line LineOf(std::size_t part) const;

 private:
  struct Times {
    explicit Times(LinearTime&& t) : time(std::move(t)) {}
    LinearTime time;
    mutable std::optional<Line> line;  // made when first asked for
    const Line& MadeLine() const;
  };
  struct Slot {
    std::size_t part = SIZE_MAX;
    std::optional<Times> times;
  };

  const Times& Find(std::size_t part) const;
  const Times& Remade(std::size_t part) const;

  std::size_t most_;         // parts that keep their times
  std::deque<Times> kept_;   // theirs (grown without moving what it holds)
  std::size_t parts_ = 0;
  std::vector<std::unique_ptr<Timeline>> copies_;  // before parts kept, +kGroup, ...
  // The cache of parts made again, by part number, and the timeline that
  // made the last one (it goes on from there when the next lies ahead).
  mutable std::vector<Slot> cache_;
  mutable std::unique_ptr<Timeline> cursor_;
  mutable std::size_t cursorPart_ = 0;  // the part its next stretch with divisions is
};

}  // namespace beatmarks
