#pragma once

#include <cstdint>

#include "exact/exact_time.h"

namespace beatmarks {

// time(n) x scale rounded, a half up, for n, n + 1, n + 2, ... of one
// LinearTime: each value by adding the scaled step to the one before, in the
// fixed point and with the error bound LinearTime rounds with, so every value
// it settles is the one LinearTime gives. No multiplication or division per
// step; where the bound does not settle a value, LinearTime must.
class RoundedSteps {
 public:
  // Starts at time(n); false where the fixed point does not hold it.
  bool Start(const LinearTime& time, unsigned __int128 n, std::uint64_t scale);
  // The rounded value at the current n, when the bound settles it and it is
  // below 2^64.
  bool Settled(std::uint64_t& value) const {
    const unsigned __int128 fraction = (static_cast<unsigned __int128>(y_[1]) << 64) | y_[0];
    value = y_[2];
    return held_ && y_[3] == 0 && error_ <= ~fraction;
  }
  // On to n + 1.
  void Next() {
    if (left_ == 0) held_ = false;
    --left_;
    unsigned __int128 sum = 0;
    for (int i = 0; i < 4; ++i) {
      sum = (sum >> 64) + y_[i] + step_[i];
      y_[i] = static_cast<std::uint64_t>(sum);
    }
    if (sum >> 64 != 0) held_ = false;  // past 2^256: the fixed point holds no more
    error_ += stepError_;
  }

 private:
  std::uint64_t y_[4] = {};     // scale x T(n) + 2^127 in units of 2^-128
  std::uint64_t step_[4] = {};  // scale x the step's fixed point
  unsigned __int128 error_ = 0, stepError_ = 0;  // scale x the bound on what T(n) dropped
  bool held_ = false;           // the fixed point holds the current n
  std::uint64_t left_ = 0;      // steps it holds after the current n
};

}  // namespace beatmarks
