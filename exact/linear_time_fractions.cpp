// A line's times from the machine fractions it was made from, where those
// serve without fixed point or big integers.

#include <utility>

#include "exact/exact_time.h"

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

u128 Gcd(u128 a, u128 b) {
  while (b != 0) a = std::exchange(b, a % b);
  return a;
}

}  // namespace

bool LinearTime::MachineLine(__int128& base, __int128& step, __int128& denominator) const {
  if (!hasSmall_) return false;
  const SmallForm& f = small_;
  u128 b = f.baseNumerator, s = f.stepNumerator, d = f.baseDenominator;
  if (f.baseDenominator != f.stepDenominator) {
    // Over the least common multiple of the two denominators.
    const u128 common = Gcd(f.baseDenominator, f.stepDenominator);
    const u128 baseFactor = f.stepDenominator / common, stepFactor = f.baseDenominator / common;
    if (__builtin_mul_overflow(f.baseNumerator, baseFactor, &b) ||
        __builtin_mul_overflow(f.stepNumerator, stepFactor, &s) ||
        __builtin_mul_overflow(f.baseDenominator, baseFactor, &d)) {
      return false;
    }
  }
  constexpr u128 kSignedMax = ~u128{0} >> 1;
  if (b > kSignedMax || s > kSignedMax || d > kSignedMax) return false;
  base = static_cast<__int128>(b);
  step = static_cast<__int128>(s);
  denominator = static_cast<__int128>(d);
  return true;
}

bool LinearTime::NearestSmall(u128 n, double& result) const {
  constexpr u128 kExact = u128{1} << 53;
  const SmallForm& f = small_;
  u128 numerator = f.baseNumerator;
  if (n != 0) {
    u128 steps = 0;
    if (f.baseDenominator != f.stepDenominator || __builtin_mul_overflow(n, f.stepNumerator, &steps) ||
        __builtin_add_overflow(numerator, steps, &numerator)) {
      return false;
    }
  }
  if (numerator >= kExact || f.baseDenominator >= kExact) return false;
  // Both below 2^53: exact as doubles, through 64 bits (quicker).
  result = static_cast<double>(static_cast<std::uint64_t>(numerator)) /
           static_cast<double>(static_cast<std::uint64_t>(f.baseDenominator));
  return true;
}

}  // namespace beatmarks
