#include "exact/rounded_steps.h"

namespace beatmarks {
namespace {

using u64 = std::uint64_t;
using u128 = unsigned __int128;

// scale x a 192-bit value, plus `add`, into four limbs.
void Scale(const LinearTime::Fixed& x, u64 scale, u64 add, u64 (&out)[4]) {
  u128 y = u128{scale} * x[0];
  out[0] = static_cast<u64>(y);
  y = (y >> 64) + u128{scale} * x[1] + add;
  out[1] = static_cast<u64>(y);
  y = (y >> 64) + u128{scale} * x[2];
  out[2] = static_cast<u64>(y);
  out[3] = static_cast<u64>(y >> 64);
}

}  // namespace

bool RoundedSteps::Start(const LinearTime& time, u128 n, u64 scale) {
  LinearTime::Fixed t{}, step{};
  u128 error = 0;
  u64 stepInexact = 0;
  held_ = false;
  if (!time.FixedBounds(n, t, error) || !time.FixedStep(step, stepInexact)) return false;
  Scale(t, scale, u64{1} << 63, y_);
  Scale(step, scale, 0, step_);
  error_ = u128{scale} * error;
  stepError_ = u128{scale} * stepInexact;
  left_ = UINT64_MAX - static_cast<u64>(n);  // n ends at 2^64 - 1, as LinearTime's
  held_ = true;
  return true;
}

}  // namespace beatmarks
