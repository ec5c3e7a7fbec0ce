#pragma once

// Numbers written straight into a line being formatted, two digits at a time
// from a table, in pairs that do not wait on each other. The caller leaves
// room: 20 bytes for an integer, 21 plus the decimals for a count of units.

#include <charconv>
#include <cstdint>
#include <cstring>

namespace beatmarks {

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

inline void PutPair(char* at, std::uint64_t value) { std::memcpy(at, kDigitPairs + 2 * value, 2); }

// Four digits of a value below 10^4, and eight of one below 10^8, leading
// zeros and all: pairs that do not wait on each other.
inline void PutFour(char* at, std::uint32_t value) {
  PutPair(at, value / 100);
  PutPair(at + 2, value % 100);
}
inline void PutEight(char* at, std::uint32_t value) {
  PutFour(at, value / 10000);
  PutFour(at + 4, value % 10000);
}

// A value from 1 to 9999 in its shortest form; returns the end.
inline char* PutUpToFour(char* at, std::uint32_t value) {
  if (value < 10) {
    *at = static_cast<char>('0' + value);
    return at + 1;
  }
  if (value < 100) {
    PutPair(at, value);
    return at + 2;
  }
  if (value < 1000) {
    *at = static_cast<char>('0' + value / 100);
    PutPair(at + 1, value % 100);
    return at + 3;
  }
  PutFour(at, value);
  return at + 4;
}

// A value from 1 to 10^8 - 1 in its shortest form; returns the end.
inline char* PutUpToEight(char* at, std::uint32_t value) {
  if (value < 10000) return PutUpToFour(at, value);
  at = PutUpToFour(at, value / 10000);
  PutFour(at, value % 10000);
  return at + 4;
}

// A whole number of 2 digits or more in its shortest form; returns the end.
inline char* PutLonger(char* at, std::uint64_t value) {
  constexpr std::uint64_t kE8 = 100000000;
  if (value < kE8) return PutUpToEight(at, static_cast<std::uint32_t>(value));
  if (value < kE8 * kE8) {
    at = PutUpToEight(at, static_cast<std::uint32_t>(value / kE8));
    PutEight(at, static_cast<std::uint32_t>(value % kE8));
    return at + 8;
  }
  return std::to_chars(at, at + 20, value).ptr;
}

// A whole number in its shortest form; returns the end. A single digit (a
// beat's or a division's number, mostly) is written where it is asked for.
[[gnu::always_inline]] inline char* PutWhole(char* at, std::uint64_t value) {
  if (value < 10) {
    *at = static_cast<char>('0' + value);
    return at + 1;
  }
  return PutLonger(at, value);
}

// A count of millionths or billionths of a second as "W.FFFFFF" or
// "W.FFFFFFFFF", the decimals' digits split in independent pairs.
template <int kDecimals>
[[gnu::always_inline]] inline char* PutUnits(char* at, std::uint64_t units) {
  static_assert(kDecimals == 6 || kDecimals == 9);
  constexpr std::uint64_t kOne = kDecimals == 6 ? 1000000 : 1000000000;
  at = PutWhole(at, units / kOne);
  *at++ = '.';
  const auto fraction = static_cast<std::uint32_t>(units % kOne);
  if constexpr (kDecimals == 9) {
    *at++ = static_cast<char>('0' + fraction / 100000000);
    PutEight(at, fraction % 100000000);
    return at + 8;
  } else {
    PutPair(at, fraction / 10000);
    PutFour(at + 2, fraction % 10000);
    return at + 6;
  }
}

}  // namespace beatmarks
