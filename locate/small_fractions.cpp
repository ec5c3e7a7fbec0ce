#include "locate/small_fractions.h"

namespace beatmarks {

u128 Gcd(u128 a, u128 b) {
  while (b != 0) {
    const u128 r = a % b;
    a = b;
    b = r;
  }
  return a;
}

bool Fits(const BigInt& value, i128& held) {
  u128 magnitude = 0;
  if (value.IsNegative() || !value.ToUnsigned128(magnitude) || magnitude > u128(kMaxI128)) return false;
  held = static_cast<i128>(magnitude);
  return true;
}

u128 Held(const BigInt& value) {
  u128 held = 0;
  return value.ToUnsigned128(held) ? held : ~u128{0};
}

}  // namespace beatmarks
