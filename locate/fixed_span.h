#pragma once

// Times in fixed point, as bounds: a value in units of 2^-128 s known to
// lie in [low, high]. What the doubles of a grid lookup leave open (a
// deviation near a rounding half, two divisions nearly as near) is decided
// here when the bounds settle it, in a few machine multiplications, however
// large the exact fractions' denominators (a long text map's grow by a
// tempo's digits a section). What even these cannot settle (a time on a
// division, an exact half) is left to exact arithmetic.

#include <array>
#include <cstdint>
#include <string_view>

namespace beatmarks {

// A signed 256-bit integer, two's complement, least significant limb first.
struct Wide {
  std::array<std::uint64_t, 4> limb{};

  static Wide FromFixed(const std::array<std::uint64_t, 3>& fixed);
  static Wide FromUnsigned(unsigned __int128 value);
  bool Negative() const { return static_cast<std::int64_t>(limb[3]) < 0; }
  friend Wide operator+(const Wide& a, const Wide& b);
  friend Wide operator-(const Wide& a, const Wide& b);
  friend bool operator==(const Wide& a, const Wide& b) = default;
  friend bool operator<(const Wide& a, const Wide& b);  // signed
};

struct FixedSpan {
  Wide low, high;

  bool Exact() const { return low == high; }
  friend FixedSpan operator-(const FixedSpan& a, const FixedSpan& b) {
    return {a.low - b.high, a.high - b.low};
  }
  friend FixedSpan operator+(const FixedSpan& a, const FixedSpan& b) {
    return {a.low + b.low, a.high + b.high};
  }
};

// The bounds of a time as TIMES writes it ("[-]digits[.digits]"): false for
// one below 0, from 2^64 s on, or with more than 19 decimals.
bool FixedSpanOf(std::string_view text, FixedSpan& span);

// -1, 0 or 1 for a below, equal to or above b, where the bounds settle it; 2 where not.
int OrderOf(const FixedSpan& a, const FixedSpan& b);

// floor(m x scale + 1/2) for a magnitude m of at least 0 in the span (a
// low bound below 0 counts as 0), where both bounds give the same; false
// where they do not, or the span is 2^64 s or more.
bool RoundedSpan(const FixedSpan& m, std::uint64_t scale, unsigned __int128& rounded);

// Whether q = floor(10^6 x a / b) for a >= 0, b > 0 in their spans.
bool IsMillionths(const FixedSpan& a, const FixedSpan& b, std::uint32_t q);

}  // namespace beatmarks
