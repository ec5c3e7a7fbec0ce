#pragma once

// Boost.Multiprecision as the independent reference for exact arithmetic:
// conversions from the program's types and the roundings done the plain way.
// Include only where BEATMARKS_HAVE_BOOST is defined.

#include <boost/multiprecision/cpp_int.hpp>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>

#include "exact/big_int.h"
#include "exact/rational.h"

namespace beatmarks::testing {

using RefInt = boost::multiprecision::cpp_int;
using RefRational = boost::multiprecision::cpp_rational;

inline RefInt ToRef(const BigInt& value) {
  return RefInt(value.ToDecimal());
}

// The same integer, limb by limb.
inline BigInt FromRef(const RefInt& value) {
  BigInt result;
  RefInt magnitude = abs(value);
  for (int shift = static_cast<int>(magnitude == 0 ? 0 : msb(magnitude)) / 32 * 32; shift >= 0; shift -= 32) {
    auto limb = static_cast<std::int64_t>((magnitude >> shift) & 0xffffffffu);
    result = (result << 32) + BigInt(limb);
  }
  return value < 0 ? -result : result;
}

// A fraction kept as it comes, never reduced: sums of hundreds of sections
// stay cheap, and nothing depends on the code under test reducing it.
struct RefFraction {
  RefInt num, den = 1;  // den > 0

  RefFraction() = default;
  RefFraction(RefInt n, RefInt d = 1) : num(std::move(n)), den(std::move(d)) {}
  static RefFraction Of(const RefRational& r) { return {numerator(r), denominator(r)}; }
  friend RefFraction operator+(const RefFraction& a, const RefFraction& b) {
    return {a.num * b.den + b.num * a.den, a.den * b.den};
  }
  friend RefFraction operator*(const RefFraction& a, const RefFraction& b) {
    return {a.num * b.num, a.den * b.den};
  }
  friend RefFraction operator/(const RefFraction& a, const RefFraction& b) {  // b > 0
    return {a.num * b.den, a.den * b.num};
  }
  friend bool operator==(const RefFraction& a, const RefFraction& b) { return a.num * b.den == b.num * a.den; }
  friend bool operator<(const RefFraction& a, const RefFraction& b) { return a.num * b.den < b.num * a.den; }
};

inline RefFraction ToRef(const Rational& value) {
  return {ToRef(value.numerator()), ToRef(value.denominator())};
}

// The exact value of a finite float, from its bits.
inline RefFraction RefFromFloat(float value) {
  int exponent = 0;
  auto mantissa = static_cast<std::int64_t>(std::ldexp(std::frexp(value, &exponent), 24));
  exponent -= 24;
  RefInt magnitude(mantissa);
  if (exponent >= 0) return RefFraction(RefInt(magnitude << exponent));
  return RefFraction(magnitude, RefInt(1) << -exponent);
}

inline RefInt RefFloorDiv(const RefInt& a, const RefInt& b) {
  RefInt q = a / b;
  if (q * b != a && ((a < 0) != (b < 0))) --q;
  return q;
}

// floor(time x scale + 1/2).
inline RefInt RefRoundHalfUp(const RefFraction& time, const RefInt& scale) {
  return RefFloorDiv(2 * time.num * scale + time.den, 2 * time.den);
}

inline std::int64_t RefSample(const RefFraction& time, std::uint32_t rate) {
  RefInt position = RefRoundHalfUp(time, rate);
  if (position > INT64_MAX) return INT64_MAX;
  if (position < INT64_MIN) return INT64_MIN;
  return static_cast<std::int64_t>(position);
}

inline std::string RefSeconds(const RefFraction& time, int decimals) {
  RefInt units = RefRoundHalfUp(time, boost::multiprecision::pow(RefInt(10), decimals));
  std::string digits = RefInt(abs(units)).str();
  if (digits.size() <= static_cast<std::size_t>(decimals)) {
    digits = std::string(decimals + 1 - digits.size(), '0') + digits;
  }
  if (decimals > 0) digits.insert(digits.size() - decimals, ".");
  return (units < 0 ? "-" : "") + digits;
}

// Whether `nearest` is the double nearest to `time`, ties to even: `time`
// lies within half-way to each neighbour, and on a half-way point only
// where the mantissa is even.
inline bool RefIsNearest(const RefFraction& time, double nearest) {
  if (!std::isfinite(nearest)) return false;
  RefRational here = RefRational(nearest == 0 ? 0.0 : nearest);
  RefRational below = RefRational(std::nextafter(nearest, -INFINITY));
  RefRational above = RefRational(std::nextafter(nearest, INFINITY));
  RefFraction low = RefFraction::Of((below + here) / 2), high = RefFraction::Of((here + above) / 2);
  if (time < low || high < time) return false;
  if (!(time == low) && !(time == high)) return true;
  return (std::bit_cast<std::uint64_t>(nearest) & 1) == 0;
}

// A random integer of up to `maxBits` bits, either sign, built alike in both
// kinds, with long runs of ones and zeros that stress carries and borrows.
struct RandomPair {
  BigInt value;
  RefInt ref;
};

inline RandomPair RandomBigInt(std::mt19937_64& random, int maxBits) {
  RandomPair pair;
  int bits = static_cast<int>(random() % (maxBits + 1));
  for (int done = 0; done < bits; done += 32) {
    std::uint64_t limb = random() % 4 == 0 ? (random() % 2 ? 0xffffffffu : 0u) : random() & 0xffffffffu;
    pair.value = (pair.value << 32) + BigInt(static_cast<std::int64_t>(limb));
    pair.ref = (pair.ref << 32) | RefInt(limb);
  }
  if (random() % 2) {
    pair.value = -pair.value;
    pair.ref = -pair.ref;
  }
  return pair;
}

}  // namespace beatmarks::testing
