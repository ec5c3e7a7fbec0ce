#include "exact/rational.h"

#include <cmath>
#include <cassert>
#include <utility>

namespace beatmarks {

namespace {

// Greatest common divisor by Stein's binary method; gcd(0, b) = b.
unsigned __int128 Gcd128(unsigned __int128 a, unsigned __int128 b) {
  if (a == 0 || b == 0) return a | b;
  int shift = 0;
  while (((a | b) & 1) == 0) {
    a >>= 1;
    b >>= 1;
    ++shift;
  }
  while ((a & 1) == 0) a >>= 1;
  while (b != 0) {
    while ((b & 1) == 0) b >>= 1;
    if (a > b) std::swap(a, b);
    b -= a;
  }
  return a << shift;
}

}  // namespace

Rational Rational::FromFraction(unsigned __int128 numerator, unsigned __int128 denominator) {
  if (denominator == 0) {
    assert(!"Rational with a zero denominator");
    return Rational();
  }
  const unsigned __int128 g = Gcd128(numerator, denominator);
  return Reduced(BigInt::FromUnsigned128(numerator / g), BigInt::FromUnsigned128(denominator / g));
}

Rational Rational::Reduced(BigInt numerator, BigInt denominator) {
  Rational result;
  result.numerator_ = std::move(numerator);
  result.denominator_ = std::move(denominator);
  return result;
}

Rational::Rational(BigInt numerator, BigInt denominator) {
  if (denominator.IsZero()) {  // left 0
    assert(!"Rational with a zero denominator");
    return;
  }
  if (denominator.IsNegative()) {
    numerator = -numerator;
    denominator = -denominator;
  }
  BigInt g = BigInt::Gcd(numerator, denominator);
  BigInt rest;
  BigInt::DivMod(numerator, g, numerator_, rest);
  BigInt::DivMod(denominator, g, denominator_, rest);
}

Rational Rational::FromDouble(double value) {
  if (!std::isfinite(value)) {
    assert(!"Not a finite number");
    return Rational();
  }
  int exponent = 0;
  // value = mantissa * 2^exponent with an integer mantissa of at most 53 bits.
  auto mantissa = static_cast<std::int64_t>(std::ldexp(std::frexp(value, &exponent), 53));
  exponent -= 53;
  while (mantissa != 0 && mantissa % 2 == 0 && exponent < 0) {
    mantissa /= 2;
    ++exponent;
  }
  if (mantissa == 0) return Rational();
  if (exponent >= 0) return Reduced(BigInt(mantissa) << exponent, BigInt(1));
  return Reduced(BigInt(mantissa), BigInt::PowerOfTwo(-exponent));
}

std::optional<Rational> Rational::FromDecimal(std::string_view text) {
  BigInt digits;
  int afterPoint = 0, count = 0, chunkLength = 0;
  bool point = false;
  std::int64_t chunk = 0;
  for (char c : text) {
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    chunk = chunk * 10 + (c - '0');
    ++count;
    afterPoint += point ? 1 : 0;
    if (++chunkLength == 18) {  // whole chunks keep the work linear in the digits
      digits = digits * BigInt::PowerOfTen(18) + BigInt(chunk);
      chunk = chunkLength = 0;
    }
  }
  if (count == 0) return std::nullopt;
  digits = digits * BigInt::PowerOfTen(chunkLength) + BigInt(chunk);
  return Rational(std::move(digits), BigInt::PowerOfTen(afterPoint));
}

Rational Rational::operator-() const {
  return Reduced(-numerator_, denominator_);
}

// Sums and products cancel common factors of the denominators first, so that
// adding a short section length to a long running sum stays cheap.
Rational operator+(const Rational& a, const Rational& b) {
  BigInt g = BigInt::Gcd(a.denominator_, b.denominator_);
  if (g == BigInt(1)) {
    return Rational::Reduced(a.numerator_ * b.denominator_ + b.numerator_ * a.denominator_,
                             a.denominator_ * b.denominator_);
  }
  BigInt aPart, bPart, rest;
  BigInt::DivMod(a.denominator_, g, aPart, rest);
  BigInt::DivMod(b.denominator_, g, bPart, rest);
  BigInt numerator = a.numerator_ * bPart + b.numerator_ * aPart;
  BigInt g2 = BigInt::Gcd(numerator, g);
  BigInt reducedNumerator, bReduced;
  BigInt::DivMod(numerator, g2, reducedNumerator, rest);
  BigInt::DivMod(b.denominator_, g2, bReduced, rest);
  if (reducedNumerator.IsZero()) return Rational();
  return Rational::Reduced(std::move(reducedNumerator), aPart * bReduced);
}

Rational operator-(const Rational& a, const Rational& b) {
  return a + (-b);
}

Rational operator*(const Rational& a, const Rational& b) {
  if (a.numerator_.IsZero() || b.numerator_.IsZero()) return Rational();
  BigInt g1 = BigInt::Gcd(a.numerator_, b.denominator_);
  BigInt g2 = BigInt::Gcd(b.numerator_, a.denominator_);
  BigInt an, bn, ad, bd, rest;
  BigInt::DivMod(a.numerator_, g1, an, rest);
  BigInt::DivMod(b.denominator_, g1, bd, rest);
  BigInt::DivMod(b.numerator_, g2, bn, rest);
  BigInt::DivMod(a.denominator_, g2, ad, rest);
  return Rational::Reduced(an * bn, ad * bd);
}

Rational operator/(const Rational& a, const Rational& b) {
  if (b.numerator_.IsZero()) {
    assert(!"Division by zero");
    return Rational();
  }
  Rational inverse = b.numerator_.IsNegative()
                         ? Rational::Reduced(-b.denominator_, -b.numerator_)
                         : Rational::Reduced(b.denominator_, b.numerator_);
  return a * inverse;
}

std::strong_ordering operator<=>(const Rational& a, const Rational& b) {
  return a.numerator_ * b.denominator_ <=> b.numerator_ * a.denominator_;
}

}  // namespace beatmarks
