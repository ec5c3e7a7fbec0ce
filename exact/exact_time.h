#pragma once

// Correctly rounded beat times. A time is exact (a rational number of
// seconds); what is printed is that exact value rounded once:
//  - a sample position: the nearest integer to rate x time, a half rounding
//    up (held at INT64_MAX above it as a number, exact as digits);
//  - seconds with 0 to 9 decimals, a half rounding up, in plain digits with
//    a '.' when there are decimals, however large the number;
//  - the nearest double, ties to even.
// Arguments out of range are asserted, and held to a defined result.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "exact/big_int.h"
#include "exact/rational.h"

namespace beatmarks {

inline constexpr int kMaxDecimals = 9;

// The times base + n x step of the divisions of one section. Rounding the
// n-th time takes a few tens of nanoseconds and allocates nothing, except
// for the rare time that lies too close to a rounding boundary (or beyond
// 2^64 seconds, or n beyond 2^64) to decide without exact arithmetic.
class LinearTime {
 public:
  // base >= 0, step > 0 (asserted). The construction itself is slow (exact division).
  LinearTime(const Rational& base, const Rational& step);
  // The same from fractions of machine integers (denominators and the step's
  // numerator above 0), quick: no big integer is made until an exact time
  // is asked for.
  static LinearTime FromFractions(unsigned __int128 baseNumerator, unsigned __int128 baseDenominator,
                                  unsigned __int128 stepNumerator, unsigned __int128 stepDenominator);

  std::int64_t Sample(unsigned __int128 n, std::uint32_t rate) const;
  // The same sample position in decimal digits, never held: exact however large.
  void AppendSample(unsigned __int128 n, std::uint32_t rate, std::string& out) const;
  // Appends the time in seconds with `decimals` (0 to 9) decimals.
  void AppendSeconds(unsigned __int128 n, int decimals, std::string& out) const;
  double Nearest(unsigned __int128 n) const;
  // The exact time.
  Rational At(unsigned __int128 n) const;
  // The same, not reduced: NumeratorAt(n) / CommonDenominator(), the
  // denominator shared by every n (no gcd taken).
  BigInt NumeratorAt(unsigned __int128 n) const;
  const BigInt& CommonDenominator() const { return Denominator(); }
  // time(n) = (base + n x step) / denominator in signed 128-bit integers
  // (denominator > 0), for times made from fractions where they fit: no
  // big integer is made. False otherwise.
  bool MachineLine(__int128& base, __int128& step, __int128& denominator) const;

  using Fixed = std::array<std::uint64_t, 3>;  // a value x 2^128, least significant limb first
  // time(n) x 2^128 lies in [low, low + error]: for deciding in fixed point
  // what the doubles cannot. False where the fixed point does not hold it
  // (a time from 2^64 s on, n past 2^64).
  bool FixedBounds(unsigned __int128 n, Fixed& low, unsigned __int128& error) const;
  // floor(step x 2^128), and 1 where that dropped a fraction (else 0): what
  // FixedBounds adds from one n to the next. False where it has no fixed point.
  bool FixedStep(Fixed& step, std::uint64_t& inexact) const;

 private:
  struct Rounded {
    unsigned __int128 value;  // floor(c x lower bound of the time + 1/2)
    bool beyond;              // the time is 2^64 s or more: value is not computed
    bool certain;             // value is the correctly rounded result
  };
  // T = floor(base x 2^128) + n x floor(step x 2^128), or false from 2^192 on.
  bool FixedAt(std::uint64_t n, Fixed& t) const;
  // A bound on what T dropped: time(n) x 2^128 lies in [T, T + ErrorAt(n)].
  unsigned __int128 ErrorAt(std::uint64_t n) const;
  Rounded RoundFast(std::uint64_t n, std::uint64_t scale) const;
  bool NearestFast(std::uint64_t n, double& result) const;

  // Fixed point: floors of base and step in units of 2^-128 s, and whether
  // each floor dropped a nonzero fraction (1) or not (0). Made from fractions
  // only when first used (three machine divisions each).
  mutable Fixed base_{}, step_{};
  mutable std::uint8_t baseInexact_ = 0, stepInexact_ = 0;
  bool fast_ = false;
  mutable bool fixedPending_ = false;
  void MakeFixed() const;
  // The nearest double from the fractions, where numerator and denominator
  // are exact in a double (one correctly rounded division).
  bool NearestSmall(unsigned __int128 n, double& result) const;
  void PrepareExact(const Rational& base, const Rational& step) const;
  const BigInt& Denominator() const;  // makes the exact form first if need be

  // Exact: time(n) = (numerator0 + n x numeratorStep) / denominator, made
  // from `from` (base and step), or from small_, when first needed. Kept
  // apart (most lines never need it) so that a line is small to hold.
  struct SmallForm {
    unsigned __int128 baseNumerator, baseDenominator, stepNumerator, stepDenominator;
  };
  struct Exact {
    std::optional<std::pair<Rational, Rational>> from;
    BigInt numerator0, numeratorStep, denominator;
  };
  LinearTime() = default;
  bool hasSmall_ = false;  // small_ holds the fractions
  SmallForm small_{};
  mutable std::unique_ptr<Exact> exact_;
};

// The same roundings of a single exact time, such as a section's start.
void AppendSecondsAt(const Rational& time, int decimals, std::string& out);
double NearestDouble(const Rational& time);
// A time outside [low, high] in seconds: kMaxDecimals decimals, or as many
// more as it takes to show it outside (60000001 bpm is 0.00000099999998 s a
// beat, not 0.000001), without zeros after the last digit that counts.
std::string SecondsOutside(const Rational& time, const Rational& low, const Rational& high);

}  // namespace beatmarks
