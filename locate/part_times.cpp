#include "locate/part_times.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "core/section_walk.h"
#include "locate/small_fractions.h"

namespace beatmarks {

// From the fractions the times were made from where they serve; else from
// the common denominator as it is: no gcd is taken (one of a long text
// map's reaches thousands of bits before it is known too large).
const PartTimes::Line& PartTimes::Times::MadeLine() const {
  if (line) return *line;
  line.emplace(Line{0, 0, 0});
  if (time.MachineLine(line->base, line->step, line->den)) return *line;
  const BigInt& common = time.CommonDenominator();
  i128 q = 0, x = 0, y = 0;
  if (common.BitLength() > 126 || !Fits(common, q) || !Fits(time.NumeratorAt(0), x) ||
      !Fits(time.NumeratorAt(1), y)) {
    *line = Line{0, 0, 0};
    return *line;
  }
  *line = {x, y - x, q};
  return *line;
}

void PartTimes::Begin(const Timeline& timeline) {
  if (most_ == 0) copies_.push_back(timeline.Copy());
}

void PartTimes::Add(Stretch& stretch, const Timeline& timeline) {
  if (parts_ < most_) {
    kept_.emplace_back(std::move(*stretch.time));
    stretch.time.reset();
  }
  ++parts_;
  // The copy from which the parts of the next group are made again.
  if (parts_ >= most_ && (parts_ - most_) % kGroup == 0) copies_.push_back(timeline.Copy());
}

void PartTimes::Reserve(std::size_t parts) {
  copies_.reserve(parts > most_ ? (parts - most_) / kGroup + 2 : 1);
}

const PartTimes::Times& PartTimes::Find(std::size_t part) const {
  return part < kept_.size() ? kept_[part] : Remade(part);
}

// Walks on from the last part made where it lies a group or less ahead,
// else from the copy kept before the part's group.
const PartTimes::Times& PartTimes::Remade(std::size_t part) const {
  if (cache_.empty()) cache_.resize(kCached);
  Slot& slot = cache_[part % kCached];
  if (slot.part == part) return *slot.times;
  if (!cursor_ || cursorPart_ > part || part - cursorPart_ >= kGroup) {
    const std::size_t group = (part - most_) / kGroup;
    cursor_ = copies_[group]->Copy();
    cursorPart_ = most_ + group * kGroup;
  }
  WalkStretches(*cursor_, StretchTimes::kAsked, [&](Stretch& s, Timeline& t) {
    if (s.divisions == 0 || cursorPart_++ != part) return true;
    t.AddTimes(s);
    slot.times.emplace(std::move(*s.time));
    slot.part = part;
    return false;
  });
  if (slot.part == part) return *slot.times;
  assert(!"the timeline gave fewer parts than when the index was built");
  std::abort();
}

double PartTimes::Nearest(std::size_t part, unsigned __int128 k) const { return Find(part).time.Nearest(k); }

Rational PartTimes::At(std::size_t part, unsigned __int128 k) const { return Find(part).time.At(k); }

bool PartTimes::FixedBounds(std::size_t part, unsigned __int128 k, LinearTime::Fixed& low,
                            unsigned __int128& error) const {
  return Find(part).time.FixedBounds(k, low, error);
}

PartTimes::Line PartTimes::LineOf(std::size_t part) const { return Find(part).MadeLine(); }

}  // namespace beatmarks
