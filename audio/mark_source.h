#pragma once

// Where audio writers take their beat marks from: in order, one at a time,
// as often as they need to go through them, so that no writer holds every
// division of a long map at once.

#include <cstdint>
#include <span>
#include <vector>

#include "audio/beat_marks.h"

namespace beatmarks {

class MarkSource {
 public:
  virtual ~MarkSource() = default;
  // The next mark, or false after the last.
  virtual bool Next(BeatMark& mark) = 0;
  // Goes back to the first mark.
  virtual void Restart() = 0;
  // How many marks carry a marker (beats), all of them, without going
  // through them where the source can tell.
  virtual std::int64_t MarkerCount() = 0;
};

// The marks of a list held in memory.
class SpanMarks final : public MarkSource {
 public:
  explicit SpanMarks(std::span<const BeatMark> marks) : marks_(marks) {}
  bool Next(BeatMark& mark) override;
  void Restart() override { next_ = 0; }
  std::int64_t MarkerCount() override;

 private:
  std::span<const BeatMark> marks_;
  std::size_t next_ = 0;
};

// The marks that matter to the audio being rendered, taken from a source as
// the frames advance and let go of once they have sounded.
class MarkFeed {
 public:
  explicit MarkFeed(MarkSource& source) : source_(source) { source_.Restart(); }

  // The marks held: every mark before `frame` that may still sound, and all
  // marks up to the first onset at or after `frame` (or the last mark).
  std::span<const BeatMark> Through(std::int64_t frame);
  // Lets go of the first `count` marks held.
  void Drop(std::size_t count);
  // A mark out of order, or before frame 0, was met.
  bool OutOfOrder() const { return outOfOrder_; }

 private:
  MarkSource& source_;
  std::vector<BeatMark> held_;
  std::int64_t lastFrame_ = 0;
  bool ended_ = false;
  bool outOfOrder_ = false;
};

}  // namespace beatmarks
