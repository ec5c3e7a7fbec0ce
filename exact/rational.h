#pragma once

// Exact rational numbers for times: tempos taken as the exact binary numbers
// they are, offsets as the exact decimals the user wrote. Always in lowest
// terms with a positive denominator, so equal values compare equal.

#include <compare>
#include <cstdint>
#include <optional>
#include <string_view>

#include "exact/big_int.h"

namespace beatmarks {

class Rational {
 public:
  Rational() = default;  // 0
  Rational(std::int64_t value) : numerator_(value) {}  // NOLINT: integers convert implicitly
  // numerator / denominator, denominator != 0 (asserted; else 0).
  Rational(BigInt numerator, BigInt denominator);

  // A fraction of unsigned 128-bit integers, reduced here in machine words
  // (far cheaper than in big integers); denominator != 0 (asserted; else
  // 0).
  static Rational FromFraction(unsigned __int128 numerator, unsigned __int128 denominator);

  // The exact value of a finite number (asserted; else 0).
  static Rational FromDouble(double value);
  static Rational FromFloat(float value) { return FromDouble(value); }
  // Digits with an optional point ("12", "0.1", "1.25", ".5", "5."); nothing
  // for anything else (signs, exponents, spaces, an empty text).
  static std::optional<Rational> FromDecimal(std::string_view text);

  const BigInt& numerator() const { return numerator_; }
  const BigInt& denominator() const { return denominator_; }
  int Sign() const { return numerator_.Sign(); }
  // The largest integer not above the value.

  Rational operator-() const;
  friend Rational operator+(const Rational& a, const Rational& b);
  friend Rational operator-(const Rational& a, const Rational& b);
  friend Rational operator*(const Rational& a, const Rational& b);
  // b != 0 (asserted; else 0).
  friend Rational operator/(const Rational& a, const Rational& b);
  Rational& operator+=(const Rational& b) { return *this = *this + b; }
  Rational& operator-=(const Rational& b) { return *this = *this - b; }
  Rational& operator*=(const Rational& b) { return *this = *this * b; }
  Rational& operator/=(const Rational& b) { return *this = *this / b; }

  friend bool operator==(const Rational& a, const Rational& b) = default;
  friend std::strong_ordering operator<=>(const Rational& a, const Rational& b);

 private:
  // Takes a fraction already in lowest terms with a positive denominator.
  static Rational Reduced(BigInt numerator, BigInt denominator);

  BigInt numerator_;
  BigInt denominator_ = BigInt(1);
};

}  // namespace beatmarks
