#pragma once

// Exact fractions of 128-bit integers, for what the doubles of a grid lookup
// leave open. Each step reports overflow (false), and then big integers
// decide. A fraction is any type with i128 members `num` and `den` (> 0).

#include <cstdint>
#include <string_view>

#include "exact/big_int.h"

namespace beatmarks {

using i128 = __int128;
using u128 = unsigned __int128;

inline constexpr i128 kMaxI128 = static_cast<i128>(~u128{0} >> 1);

inline bool Multiply(i128 a, i128 b, i128& product) { return !__builtin_mul_overflow(a, b, &product); }

u128 Gcd(u128 a, u128 b);
// The value as an i128, when it is one of 0 or more.
bool Fits(const BigInt& value, i128& held);
// The value as a u128, or the largest u128 when it is past it.
u128 Held(const BigInt& value);

// a - b over a common denominator.
template <class Fraction>
bool Minus(const Fraction& a, const Fraction& b, Fraction& difference) {
  if (a.den == b.den) {
    difference.den = a.den;
    return !__builtin_sub_overflow(a.num, b.num, &difference.num);
  }
  i128 x = 0, y = 0;
  return Multiply(a.num, b.den, x) && Multiply(b.num, a.den, y) &&
         !__builtin_sub_overflow(x, y, &difference.num) && Multiply(a.den, b.den, difference.den);
}

// floor(f x scale + 1/2) for f >= 0.
template <class Fraction>
bool RoundedSmall(const Fraction& f, i128 scale, u128& rounded) {
  i128 x = 0, twice = 0;
  if (!Multiply(f.num, scale, x) || !Multiply(x, 2, x) || __builtin_add_overflow(x, f.den, &x) ||
      !Multiply(f.den, 2, twice)) {
    return false;
  }
  rounded = static_cast<u128>(x / twice);
  return true;
}

// floor(10^6 x a / b) for 0 <= a < b, a digit at a time.
template <class Fraction>
bool MillionthsSmall(const Fraction& a, const Fraction& b, std::uint32_t& digits) {
  i128 num = a.num, den = b.num;
  if (a.den != b.den && (!Multiply(a.num, b.den, num) || !Multiply(a.den, b.num, den))) return false;
  if (num < 0 || den <= num) return false;
  digits = 0;
  for (int i = 0; i < 6; ++i) {
    if (!Multiply(num, 10, num)) return false;
    digits = digits * 10 + static_cast<std::uint32_t>(num / den);
    num %= den;
  }
  return true;
}

// A time as TIMES writes it, over a power of ten.
template <class Fraction>
bool SmallTimeOf(std::string_view text, Fraction& time) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.find('.') != std::string_view::npos) {
    while (text.back() == '0') text.remove_suffix(1);
    if (text.back() == '.') text.remove_suffix(1);
  }
  i128 num = 0, den = 1;
  bool fraction = false;
  for (char c : text) {
    if (c == '.') {
      fraction = true;
    } else if (!Multiply(num, 10, num) || __builtin_add_overflow(num, c - '0', &num) ||
               (fraction && !Multiply(den, 10, den))) {
      return false;
    }
  }
  time.num = negative ? -num : num;
  time.den = den;
  return true;
}


}  // namespace beatmarks
