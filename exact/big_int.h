#pragma once

// A signed integer of any size, for the exact side of time arithmetic: sums
// of section lengths whose denominators are products of many tempos. Only
// what exact rounding needs, and simple: schoolbook multiplication and long
// division on 32-bit limbs.

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace beatmarks {

class BigInt {
 public:
  BigInt() = default;
  BigInt(std::int64_t value);  // NOLINT: integers convert implicitly
  static BigInt FromUnsigned(std::uint64_t value);
  static BigInt FromUnsigned128(unsigned __int128 value);
  // 2^exponent, exponent >= 0.
  static BigInt PowerOfTwo(int exponent);
  // 10^exponent, exponent >= 0.
  static BigInt PowerOfTen(int exponent);

  bool IsZero() const { return limbs_.empty(); }
  bool IsNegative() const { return negative_; }
  int Sign() const { return IsZero() ? 0 : (negative_ ? -1 : 1); }
  // Bits of the magnitude (0 for zero).
  std::int64_t BitLength() const;

  // The value when it fits, else false.
  bool ToInt64(std::int64_t& value) const;
  bool ToUnsigned128(unsigned __int128& value) const;
  std::string ToDecimal() const;

  BigInt operator-() const;
  BigInt Abs() const;
  friend BigInt operator+(const BigInt& a, const BigInt& b);
  friend BigInt operator-(const BigInt& a, const BigInt& b);
  friend BigInt operator*(const BigInt& a, const BigInt& b);
  // Shifts of the magnitude; the sign stays (a right shift truncates toward zero).
  BigInt operator<<(std::int64_t bits) const;
  BigInt operator>>(std::int64_t bits) const;
  BigInt& operator+=(const BigInt& b) { return *this = *this + b; }
  BigInt& operator-=(const BigInt& b) { return *this = *this - b; }
  BigInt& operator*=(const BigInt& b) { return *this = *this * b; }

  friend bool operator==(const BigInt& a, const BigInt& b) = default;
  friend std::strong_ordering operator<=>(const BigInt& a, const BigInt& b);

  // Quotient truncated toward zero and the remainder with the sign of the
  // dividend, as C++ integer division. b != 0 (asserted; else 0 and a).
  static void DivMod(const BigInt& a, const BigInt& b, BigInt& quotient, BigInt& remainder);
  // The quotient rounded toward minus infinity.
  static BigInt FloorDiv(const BigInt& a, const BigInt& b);
  // Greatest common divisor of the magnitudes (gcd(0, 0) = 0).
  static BigInt Gcd(BigInt a, BigInt b);

 private:
  using Limbs = std::vector<std::uint32_t>;  // magnitude, least significant first
  static int CompareMagnitudes(const Limbs& a, const Limbs& b);
  static Limbs AddMagnitudes(const Limbs& a, const Limbs& b);
  static Limbs SubtractMagnitudes(const Limbs& a, const Limbs& b);  // needs a >= b
  static Limbs MultiplyMagnitudes(const Limbs& a, const Limbs& b);
  static std::uint32_t DivideBySmall(Limbs& a, std::uint32_t divisor);
  static void DivideMagnitudes(const Limbs& a, const Limbs& b, Limbs& quotient, Limbs& remainder);
  static BigInt Make(Limbs limbs, bool negative);

  Limbs limbs_;  // no leading zero limbs; empty for zero
  bool negative_ = false;
};

}  // namespace beatmarks
