#pragma once

// Click sounds rendered block by block: an accented click on downbeats, a
// plain click on other beats, a quiet tick on divisions. Each click starts
// with a non-zero sample exactly on its frame, and one cut short by the next
// fades to zero on the sample before the next onset.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/beat_marks.h"

namespace beatmarks {

class ClickSynth {
 public:
  // Samples come out as 32-bit integers (full scale 2^31) that are multiples
  // of 2^(32 - bits), so that a file of `bits` bits (8 to 32) holds them
  // exactly.
  ClickSynth(std::int32_t sampleRate, int bits);

  // Fills `out` with the frames from `start` on. Each block must start where
  // the last one ended; the marks must be in order, none before frame 0.
  void Render(std::span<const BeatMark> marks, std::int64_t start, std::span<std::int32_t> out);

  // One whole click of a kind, in steps of the least significant bit.
  const std::vector<std::int32_t>& Shape(MarkKind kind) const {
    return shapes_[static_cast<std::size_t>(kind)];
  }
  std::int64_t FadeLength() const { return fadeLength_; }

  // Marks before this index have sounded and are no longer needed; after
  // the caller lets go of them, Rebase says how many went.
  std::size_t Sounding() const { return current_; }
  void Rebase(std::size_t dropped) {
    current_ -= dropped;
    next_ -= dropped;
  }

 private:
  void FindGroup(std::span<const BeatMark> marks);
  void Follow(std::span<const BeatMark> marks, std::int64_t frame);
  void FillClick(std::int64_t onset, std::int64_t nextOnset, std::int64_t from,
                 std::span<std::int32_t> out) const;

  std::array<std::vector<std::int32_t>, 3> shapes_;
  std::int64_t scale_;       // 2^(32 - bits)
  std::int64_t fadeLength_;  // samples a cut click takes to reach zero
  // The marks sharing the frame of marks[current_] end before marks[next_];
  // kind_ is the strongest of them.
  std::size_t current_ = 0;
  std::size_t next_ = 0;
  MarkKind kind_ = MarkKind::kDivision;
};

}  // namespace beatmarks
