#include "exact/big_int.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <utility>

namespace beatmarks {
namespace {

constexpr int kLimbBits = 32;
constexpr std::uint32_t kDecimalChunk = 1000000000;  // 10^9 fits a limb

}  // namespace

BigInt BigInt::Make(Limbs limbs, bool negative) {
  while (!limbs.empty() && limbs.back() == 0) limbs.pop_back();
  BigInt result;
  result.negative_ = negative && !limbs.empty();
  result.limbs_ = std::move(limbs);
  return result;
}

BigInt::BigInt(std::int64_t value) {
  // The magnitude of INT64_MIN does not fit int64_t, so negate as unsigned.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  *this = FromUnsigned(magnitude);
  negative_ = value < 0;
}

BigInt BigInt::FromUnsigned(std::uint64_t value) {
  return FromUnsigned128(value);
}

BigInt BigInt::FromUnsigned128(unsigned __int128 value) {
  Limbs limbs;
  for (; value != 0; value >>= kLimbBits) limbs.push_back(static_cast<std::uint32_t>(value));
  return Make(std::move(limbs), false);
}

BigInt BigInt::PowerOfTwo(int exponent) {
  return BigInt(1) << exponent;
}

BigInt BigInt::PowerOfTen(int exponent) {
  BigInt result(1);
  for (; exponent >= 9; exponent -= 9) result *= BigInt(kDecimalChunk);
  std::int64_t rest = 1;
  for (; exponent > 0; --exponent) rest *= 10;
  return result * BigInt(rest);
}

std::int64_t BigInt::BitLength() const {
  if (IsZero()) return 0;
  return static_cast<std::int64_t>(limbs_.size() - 1) * kLimbBits + std::bit_width(limbs_.back());
}

bool BigInt::ToUnsigned128(unsigned __int128& value) const {
  if (negative_ || BitLength() > 128) return false;
  value = 0;
  for (std::size_t i = limbs_.size(); i-- > 0;) value = (value << kLimbBits) | limbs_[i];
  return true;
}

bool BigInt::ToInt64(std::int64_t& value) const {
  unsigned __int128 magnitude = 0;
  if (BitLength() > 64 || !Abs().ToUnsigned128(magnitude)) return false;
  const auto limit = static_cast<unsigned __int128>(INT64_MAX) + (negative_ ? 1 : 0);
  if (magnitude > limit) return false;
  auto bits = static_cast<std::uint64_t>(magnitude);
  value = negative_ ? static_cast<std::int64_t>(0 - bits) : static_cast<std::int64_t>(bits);
  return true;
}

std::string BigInt::ToDecimal() const {
  if (IsZero()) return "0";
  Limbs rest = limbs_;
  std::string digits;  // least significant first
  while (!rest.empty()) {
    std::uint32_t chunk = DivideBySmall(rest, kDecimalChunk);
    for (int i = 0; i < 9 && (chunk != 0 || !rest.empty()); ++i, chunk /= 10) {
      digits.push_back(static_cast<char>('0' + chunk % 10));
    }
  }
  if (negative_) digits.push_back('-');
  std::reverse(digits.begin(), digits.end());
  return digits;
}

BigInt BigInt::operator-() const {
  return Make(limbs_, !negative_);
}

BigInt BigInt::Abs() const {
  return Make(limbs_, false);
}

BigInt operator+(const BigInt& a, const BigInt& b) {
  if (a.negative_ == b.negative_) return BigInt::Make(BigInt::AddMagnitudes(a.limbs_, b.limbs_), a.negative_);
  if (BigInt::CompareMagnitudes(a.limbs_, b.limbs_) >= 0) {
    return BigInt::Make(BigInt::SubtractMagnitudes(a.limbs_, b.limbs_), a.negative_);
  }
  return BigInt::Make(BigInt::SubtractMagnitudes(b.limbs_, a.limbs_), b.negative_);
}

BigInt operator-(const BigInt& a, const BigInt& b) {
  return a + (-b);
}

BigInt operator*(const BigInt& a, const BigInt& b) {
  return BigInt::Make(BigInt::MultiplyMagnitudes(a.limbs_, b.limbs_), a.negative_ != b.negative_);
}

BigInt BigInt::operator<<(std::int64_t bits) const {
  if (bits < 0) return *this >> -bits;
  if (IsZero()) return *this;
  const auto whole = static_cast<std::size_t>(bits / kLimbBits);
  const int partial = static_cast<int>(bits % kLimbBits);
  Limbs result(whole + limbs_.size() + 1, 0);
  for (std::size_t i = 0; i < limbs_.size(); ++i) {
    std::uint64_t shifted = static_cast<std::uint64_t>(limbs_[i]) << partial;
    result[whole + i] |= static_cast<std::uint32_t>(shifted);
    result[whole + i + 1] = static_cast<std::uint32_t>(shifted >> kLimbBits);
  }
  return Make(std::move(result), negative_);
}

BigInt BigInt::operator>>(std::int64_t bits) const {
  if (bits < 0) return *this << -bits;
  const auto whole = static_cast<std::size_t>(bits / kLimbBits);
  if (whole >= limbs_.size()) return BigInt();
  const int partial = static_cast<int>(bits % kLimbBits);
  Limbs result(limbs_.size() - whole, 0);
  for (std::size_t i = 0; i < result.size(); ++i) {
    std::uint64_t pair = limbs_[whole + i];
    if (whole + i + 1 < limbs_.size()) pair |= static_cast<std::uint64_t>(limbs_[whole + i + 1]) << kLimbBits;
    result[i] = static_cast<std::uint32_t>(pair >> partial);
  }
  return Make(std::move(result), negative_);
}

std::strong_ordering operator<=>(const BigInt& a, const BigInt& b) {
  if (a.negative_ != b.negative_) return b.negative_ <=> a.negative_;
  int magnitude = BigInt::CompareMagnitudes(a.limbs_, b.limbs_);
  if (a.negative_) magnitude = -magnitude;
  return magnitude <=> 0;
}

int BigInt::CompareMagnitudes(const Limbs& a, const Limbs& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

BigInt::Limbs BigInt::AddMagnitudes(const Limbs& a, const Limbs& b) {
  const Limbs& longer = a.size() >= b.size() ? a : b;
  const Limbs& shorter = a.size() >= b.size() ? b : a;
  Limbs sum(longer.size() + 1, 0);
  std::uint64_t carry = 0;
  for (std::size_t i = 0; i < longer.size(); ++i) {
    carry += static_cast<std::uint64_t>(longer[i]) + (i < shorter.size() ? shorter[i] : 0);
    sum[i] = static_cast<std::uint32_t>(carry);
    carry >>= kLimbBits;
  }
  sum[longer.size()] = static_cast<std::uint32_t>(carry);
  return sum;
}

BigInt::Limbs BigInt::SubtractMagnitudes(const Limbs& a, const Limbs& b) {
  Limbs difference(a.size(), 0);
  std::int64_t borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::int64_t d = static_cast<std::int64_t>(a[i]) - (i < b.size() ? b[i] : 0) - borrow;
    borrow = d < 0 ? 1 : 0;
    difference[i] = static_cast<std::uint32_t>(d + (borrow << kLimbBits));
  }
  return difference;
}

BigInt::Limbs BigInt::MultiplyMagnitudes(const Limbs& a, const Limbs& b) {
  if (a.empty() || b.empty()) return {};
  Limbs product(a.size() + b.size(), 0);
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < b.size(); ++j) {
      carry += static_cast<std::uint64_t>(a[i]) * b[j] + product[i + j];
      product[i + j] = static_cast<std::uint32_t>(carry);
      carry >>= kLimbBits;
    }
    product[i + b.size()] = static_cast<std::uint32_t>(carry);
  }
  return product;
}

std::uint32_t BigInt::DivideBySmall(Limbs& a, std::uint32_t divisor) {
  std::uint64_t remainder = 0;
  for (std::size_t i = a.size(); i-- > 0;) {
    std::uint64_t current = (remainder << kLimbBits) | a[i];
    a[i] = static_cast<std::uint32_t>(current / divisor);
    remainder = current % divisor;
  }
  while (!a.empty() && a.back() == 0) a.pop_back();
  return static_cast<std::uint32_t>(remainder);
}

// Long division (Knuth's algorithm D): normalise so the divisor's top limb has
// its high bit set, then estimate each quotient limb from the top two limbs of
// the running remainder, correct the estimate at most twice, and subtract.
void BigInt::DivideMagnitudes(const Limbs& a, const Limbs& b, Limbs& quotient, Limbs& remainder) {
  if (CompareMagnitudes(a, b) < 0) {
    quotient.clear();
    remainder = a;
    return;
  }
  if (b.size() == 1) {
    quotient = a;
    std::uint32_t r = DivideBySmall(quotient, b[0]);
    remainder = r == 0 ? Limbs{} : Limbs{r};
    return;
  }
  const int shift = std::countl_zero(b.back());
  const Limbs v = Make(b, false).operator<<(shift).limbs_;
  Limbs u = Make(a, false).operator<<(shift).limbs_;
  u.resize(a.size() + 1, 0);
  const std::size_t n = v.size(), m = u.size() - n;
  constexpr std::uint64_t kBase = std::uint64_t{1} << kLimbBits;
  quotient.assign(m, 0);
  for (std::size_t j = m; j-- > 0;) {
    std::uint64_t top = (static_cast<std::uint64_t>(u[j + n]) << kLimbBits) | u[j + n - 1];
    std::uint64_t qhat = top / v[n - 1], rhat = top % v[n - 1];
    while (qhat >= kBase || qhat * v[n - 2] > ((rhat << kLimbBits) | u[j + n - 2])) {
      --qhat;
      rhat += v[n - 1];
      if (rhat >= kBase) break;
    }
    std::int64_t borrow = 0;
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < n; ++i) {
      carry += qhat * v[i];
      std::int64_t d = static_cast<std::int64_t>(u[i + j]) - static_cast<std::int64_t>(carry & 0xffffffffu) - borrow;
      carry >>= kLimbBits;
      borrow = d < 0 ? 1 : 0;
      u[i + j] = static_cast<std::uint32_t>(d + (borrow << kLimbBits));
    }
    std::int64_t d = static_cast<std::int64_t>(u[j + n]) - static_cast<std::int64_t>(carry) - borrow;
    u[j + n] = static_cast<std::uint32_t>(d);
    if (d < 0) {  // the estimate was one too large: add the divisor back
      --qhat;
      std::uint64_t sum = 0;
      for (std::size_t i = 0; i < n; ++i) {
        sum += static_cast<std::uint64_t>(u[i + j]) + v[i];
        u[i + j] = static_cast<std::uint32_t>(sum);
        sum >>= kLimbBits;
      }
      u[j + n] = static_cast<std::uint32_t>(u[j + n] + sum);
    }
    quotient[j] = static_cast<std::uint32_t>(qhat);
  }
  u.resize(n);
  remainder = (Make(std::move(u), false) >> shift).limbs_;
}

void BigInt::DivMod(const BigInt& a, const BigInt& b, BigInt& quotient, BigInt& remainder) {
  if (b.IsZero()) {  // a broken precondition: a quotient of 0, the dividend left
    assert(!"Division by zero");
    quotient = BigInt();
    remainder = a;
    return;
  }
  Limbs q, r;
  DivideMagnitudes(a.limbs_, b.limbs_, q, r);
  quotient = Make(std::move(q), a.negative_ != b.negative_);
  remainder = Make(std::move(r), a.negative_);
}

BigInt BigInt::FloorDiv(const BigInt& a, const BigInt& b) {
  BigInt q, r;
  DivMod(a, b, q, r);
  if (!r.IsZero() && (r.negative_ != b.negative_)) q -= BigInt(1);
  return q;
}

BigInt BigInt::Gcd(BigInt a, BigInt b) {
  a.negative_ = b.negative_ = false;
  while (!b.IsZero()) {
    BigInt q, r;
    DivMod(a, b, q, r);
    a = std::move(b);
    b = std::move(r);
  }
  return a;
}

}  // namespace beatmarks
