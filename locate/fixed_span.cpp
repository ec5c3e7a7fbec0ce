#include "locate/fixed_span.h"

namespace beatmarks {
namespace {

using u64 = std::uint64_t;
using u128 = unsigned __int128;

// a x scale for a >= 0; false when the product passes 2^255.
bool Times(const Wide& a, u64 scale, Wide& product) {
  u128 carry = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    carry += u128{a.limb[i]} * scale;
    product.limb[i] = static_cast<u64>(carry);
    carry >>= 64;
  }
  return carry == 0 && !product.Negative();
}

bool Below2To192(const Wide& a) { return a.limb[3] == 0; }

// floor(x x scale / 2^128 + 1/2) for 0 <= x < 2^192.
u128 RoundedAt(const Wide& x, u64 scale) {
  Wide y;
  Times(x, scale, y);  // scale below 2^63 keeps it below 2^255
  y = y + Wide::FromUnsigned(u128{1} << 127);
  return (u128{y.limb[3]} << 64) | y.limb[2];
}

}  // namespace

Wide Wide::FromFixed(const std::array<u64, 3>& fixed) {
  return Wide{{fixed[0], fixed[1], fixed[2], 0}};
}

Wide Wide::FromUnsigned(u128 value) {
  return Wide{{static_cast<u64>(value), static_cast<u64>(value >> 64), 0, 0}};
}

Wide operator+(const Wide& a, const Wide& b) {
  Wide sum;
  u128 carry = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    carry += u128{a.limb[i]} + b.limb[i];
    sum.limb[i] = static_cast<u64>(carry);
    carry >>= 64;
  }
  return sum;
}

Wide operator-(const Wide& a, const Wide& b) {
  Wide difference;
  u64 borrow = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const u128 d = u128{a.limb[i]} - b.limb[i] - borrow;
    difference.limb[i] = static_cast<u64>(d);
    borrow = static_cast<u64>(d >> 64) != 0 ? 1 : 0;
  }
  return difference;
}

bool operator<(const Wide& a, const Wide& b) {
  if (a.Negative() != b.Negative()) return a.Negative();
  for (std::size_t i = 4; i-- > 0;) {
    if (a.limb[i] != b.limb[i]) return a.limb[i] < b.limb[i];
  }
  return false;
}

bool FixedSpanOf(std::string_view text, FixedSpan& span) {
  const std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point), fraction;
  if (point != std::string_view::npos) fraction = text.substr(point + 1);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  if (whole.size() + fraction.size() == 0 || fraction.size() > 19) return false;
  u128 seconds = 0;
  for (const char c : whole) {
    if (c < '0' || c > '9') return false;
    seconds = seconds * 10 + static_cast<u64>(c - '0');
    if (seconds > UINT64_MAX) return false;
  }
  u64 rest = 0, one = 1;
  for (const char c : fraction) {
    if (c < '0' || c > '9') return false;
    rest = rest * 10 + static_cast<u64>(c - '0');
    one *= 10;
  }
  // rest / one x 2^128, one limb of 64 bits at a time.
  const u128 high = (u128{rest} << 64) / one, carried = (u128{rest} << 64) % one;
  const u128 low = (carried << 64) / one, dropped = (carried << 64) % one;
  span.low = Wide{{static_cast<u64>(low), static_cast<u64>(high), static_cast<u64>(seconds), 0}};
  span.high = span.low + Wide::FromUnsigned(dropped != 0 ? 1 : 0);
  return true;
}

int OrderOf(const FixedSpan& a, const FixedSpan& b) {
  if (a.high < b.low) return -1;
  if (b.high < a.low) return 1;
  return a.Exact() && b.Exact() && a.low == b.low ? 0 : 2;
}

bool RoundedSpan(const FixedSpan& m, std::uint64_t scale, u128& rounded) {
  const Wide low = m.low.Negative() ? Wide{} : m.low;
  if (m.high.Negative() || !Below2To192(m.high) || scale >> 63 != 0) return false;
  rounded = RoundedAt(low, scale);
  return rounded == RoundedAt(m.high, scale);
}

bool IsMillionths(const FixedSpan& a, const FixedSpan& b, std::uint32_t q) {
  if (a.low.Negative() || !(Wide{} < b.low) || !Below2To192(a.high) || !Below2To192(b.high)) {
    return false;
  }
  Wide below, above, least, most;
  return Times(b.high, q, below) && Times(a.low, 1000000, least) && !(least < below) &&
         Times(b.low, u64{q} + 1, above) && Times(a.high, 1000000, most) && most < above;
}

}  // namespace beatmarks
