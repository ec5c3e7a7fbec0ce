#include "exact/exact_time.h"

#include <bit>
#include <cassert>
#include <charconv>
#include <climits>
#include <cmath>
#include <string_view>

namespace beatmarks {
namespace {

// Why the fast path is exact. With B = floor(base x 2^128) and
// S = floor(step x 2^128), T = B + n x S (computed exactly in 256 bits) is
// below the true value V = time x 2^128 by less than n + 1 units (n x the
// fraction S dropped, plus the one B dropped; nothing when both were exact).
// So V lies in [T, T + err] with err = n x [S inexact] + [B inexact]. Every
// rounding used here is monotone, so when it maps T and T + err to the same
// result it maps V there too; otherwise the exact fraction decides. For a
// scale c (rate or 10^D) the two ends differ by c x err units of 2^-128, a
// few 2^-40 of a unit of the result in the worst ordinary case, so only
// values within that distance of a half ever take the exact way.

using u64 = std::uint64_t;
using u128 = unsigned __int128;

constexpr u64 kPowersOfTen[kMaxDecimals + 1] = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// 0 to 9 decimals (asserted; held to that range).
int CheckedDecimals(int decimals) {
  assert((decimals >= 0 && decimals <= kMaxDecimals) || !"Decimals must be 0 to 9");
  return decimals < 0 ? 0 : decimals > kMaxDecimals ? kMaxDecimals : decimals;
}

// floor(numerator x scale / denominator + 1/2), denominator > 0.
BigInt RoundHalfUp(const BigInt& numerator, const BigInt& scale, const BigInt& denominator) {
  return BigInt::FloorDiv((numerator * scale << 1) + denominator, denominator << 1);
}

std::int64_t SampleExact(const BigInt& numerator, std::uint32_t rate, const BigInt& denominator) {
  BigInt position = RoundHalfUp(numerator, BigInt::FromUnsigned(rate), denominator);
  std::int64_t value = 0;
  if (position.ToInt64(value)) return value;
  return position.IsNegative() ? INT64_MIN : INT64_MAX;
}

// Digits of `units` (a count of 10^-decimals s) with the point put in.
void AppendUnits(const BigInt& units, int decimals, std::string& out) {
  std::string digits = units.Abs().ToDecimal();
  if (digits.size() <= static_cast<std::size_t>(decimals)) {
    digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
  }
  if (units.IsNegative()) out.push_back('-');
  out.append(digits, 0, digits.size() - static_cast<std::size_t>(decimals));
  if (decimals > 0) {
    out.push_back('.');
    out.append(digits, digits.size() - static_cast<std::size_t>(decimals));
  }
}

void AppendSecondsExact(const BigInt& numerator, int decimals, const BigInt& denominator,
                        std::string& out) {
  AppendUnits(RoundHalfUp(numerator, BigInt::PowerOfTen(decimals), denominator), decimals, out);
}

template <int kDecimals>
void AppendUnitsFast(u64 units, std::string& out) {
  char text[32];
  constexpr u64 kOne = kPowersOfTen[kDecimals];
  char* end = std::to_chars(text, text + 21, units / kOne).ptr;
  if constexpr (kDecimals > 0) {
    *end = '.';
    u64 fraction = units % kOne;
    for (int i = kDecimals; i > 0; --i, fraction /= 10) end[i] = static_cast<char>('0' + fraction % 10);
    end += kDecimals + 1;
  }
  out.append(text, end);
}

using UnitsWriter = void (*)(u64, std::string&);
constexpr UnitsWriter kUnitsWriters[kMaxDecimals + 1] = {
    AppendUnitsFast<0>, AppendUnitsFast<1>, AppendUnitsFast<2>, AppendUnitsFast<3>,
    AppendUnitsFast<4>, AppendUnitsFast<5>, AppendUnitsFast<6>, AppendUnitsFast<7>,
    AppendUnitsFast<8>, AppendUnitsFast<9>};

// The nearest double to `numerator / denominator` (denominator > 0), ties to
// even: 55 or 56 bits of the quotient and a sticky bit for the rest.
double NearestExact(const BigInt& numerator, const BigInt& denominator) {
  if (numerator.IsZero()) return 0.0;
  const BigInt magnitude = numerator.Abs();
  const std::int64_t shift = 55 - (magnitude.BitLength() - denominator.BitLength());
  BigInt quotient, remainder;
  if (shift >= 0) {
    BigInt::DivMod(magnitude << shift, denominator, quotient, remainder);
  } else {
    BigInt::DivMod(magnitude, denominator << -shift, quotient, remainder);
  }
  u128 bits = 0;
  quotient.ToUnsigned128(bits);  // below 2^56
  const auto q = static_cast<u64>(bits);
  // Drop all but 53 bits, or more where the result is subnormal (ulp 2^-1074).
  std::int64_t drop = std::bit_width(q) - 53;
  if (shift - 1074 > drop) drop = shift - 1074;
  const double sign = numerator.IsNegative() ? -1.0 : 1.0;
  if (drop > 60) return sign * 0.0;  // far below half the smallest subnormal
  u64 kept = q >> drop, rest = q & ((u64{1} << drop) - 1), half = u64{1} << (drop - 1);
  if (rest > half || (rest == half && (!remainder.IsZero() || (kept & 1) != 0))) ++kept;
  return sign * std::ldexp(static_cast<double>(kept), static_cast<int>(drop - shift));
}

// floor(value x 2^128) in three limbs, and whether a fraction was dropped;
// false when the value is 2^64 or more.
bool ToFixed(const Rational& value, std::array<u64, 3>& fixed, std::uint8_t& inexact) {
  BigInt whole, rest;
  BigInt::DivMod(value.numerator() << 128, value.denominator(), whole, rest);
  if (whole.BitLength() > 192) return false;
  u128 low = 0, high = 0;
  (whole - ((whole >> 128) << 128)).ToUnsigned128(low);
  (whole >> 128).ToUnsigned128(high);
  fixed = {static_cast<u64>(low), static_cast<u64>(low >> 64), static_cast<u64>(high)};
  inexact = rest.IsZero() ? 0 : 1;
  return true;
}

// (high x 2^64 + low) / divisor for high < divisor, and its remainder: one
// machine division where there is one (the generic 128-bit one is far slower).
u64 DivideLimb(u64 high, u64 low, u64 divisor, u64& remainder) {
#if defined(__x86_64__)
  u64 quotient = 0;
  asm("divq %4" : "=a"(quotient), "=d"(remainder) : "a"(low), "d"(high), "rm"(divisor));
  return quotient;
#else
  const u128 dividend = (u128{high} << 64) | low;
  remainder = static_cast<u64>(dividend % divisor);
  return static_cast<u64>(dividend / divisor);
#endif
}

// The same for a fraction of machine integers, when its denominator is
// below 2^64: a limb of the quotient at a time.
bool ToFixedSmall(u128 numerator, u128 denominator, std::array<u64, 3>& fixed, std::uint8_t& inexact) {
  if (denominator > UINT64_MAX || numerator >> 64 >= denominator) return false;
  const auto d = static_cast<u64>(denominator);
  u64 rest = 0;
  fixed[2] = DivideLimb(static_cast<u64>(numerator >> 64), static_cast<u64>(numerator), d, rest);
  fixed[1] = DivideLimb(rest, 0, d, rest);
  fixed[0] = DivideLimb(rest, 0, d, rest);
  inexact = rest != 0 ? 1 : 0;
  return true;
}

// Whether ToFixedSmall holds the fraction, without dividing.
bool FitsFixedSmall(u128 numerator, u128 denominator) {
  return denominator <= UINT64_MAX && numerator >> 64 < denominator;
}

// The nearest double to a 192-bit count of 2^-128 s: its top 64 bits, with a
// sticky bit for the rest, convert with one correct rounding.
double NearestFixed(u64 x2, u64 x1, u64 x0) {
  int exponent = -128;
  if (x2 != 0 || x1 != 0) {
    const u64 high = x2 != 0 ? x2 : x1, low = x2 != 0 ? x1 : x0, below = x2 != 0 ? x0 : 0;
    const int zeros = std::countl_zero(high);
    const u64 top = zeros == 0 ? high : (high << zeros) | (low >> (64 - zeros));
    const bool sticky = (low << zeros) != 0 || below != 0;
    exponent = (x2 != 0 ? 0 : -64) - zeros;
    return std::ldexp(static_cast<double>(top | (sticky ? 1 : 0)), exponent);
  }
  return std::ldexp(static_cast<double>(x0), exponent);
}

}  // namespace

LinearTime::LinearTime(const Rational& base, const Rational& step) {
  assert(base.Sign() >= 0 || !"Start time must not be negative");
  assert(step.Sign() > 0 || !"Step must be greater than zero");
  // Broken, they take the exact way, which holds any sign.
  fast_ = base.Sign() >= 0 && step.Sign() > 0 && ToFixed(base, base_, baseInexact_) &&
          ToFixed(step, step_, stepInexact_);
  if (!fast_) {
    PrepareExact(base, step);
  } else {
    exact_ = std::make_unique<Exact>();
    exact_->from.emplace(base, step);
  }
}

LinearTime LinearTime::FromFractions(u128 baseNumerator, u128 baseDenominator, u128 stepNumerator,
                                     u128 stepDenominator) {
  assert(baseDenominator != 0 && stepDenominator != 0 && stepNumerator != 0);
  if (!FitsFixedSmall(baseNumerator, baseDenominator) || !FitsFixedSmall(stepNumerator, stepDenominator)) {
    return LinearTime(Rational::FromFraction(baseNumerator, baseDenominator),
                      Rational::FromFraction(stepNumerator, stepDenominator));
  }
  LinearTime time;
  time.fast_ = true;
  time.fixedPending_ = true;
  time.hasSmall_ = true;
  time.small_ = SmallForm{baseNumerator, baseDenominator, stepNumerator, stepDenominator};
  return time;
}

void LinearTime::MakeFixed() const {
  fixedPending_ = false;
  ToFixedSmall(small_.baseNumerator, small_.baseDenominator, base_, baseInexact_);
  ToFixedSmall(small_.stepNumerator, small_.stepDenominator, step_, stepInexact_);
}

// The common denominator of the exact path, made only when a time first needs
// it: most sections never do.
void LinearTime::PrepareExact(const Rational& base, const Rational& step) const {
  const BigInt g = BigInt::Gcd(base.denominator(), step.denominator());
  BigInt baseFactor, stepFactor, rest;
  BigInt::DivMod(step.denominator(), g, stepFactor, rest);
  BigInt::DivMod(base.denominator(), g, baseFactor, rest);
  BigInt numerator0 = base.numerator() * stepFactor, numeratorStep = step.numerator() * baseFactor;
  BigInt denominator = base.denominator() * stepFactor;
  if (!exact_) exact_ = std::make_unique<Exact>();
  exact_->numerator0 = std::move(numerator0);
  exact_->numeratorStep = std::move(numeratorStep);
  exact_->denominator = std::move(denominator);
  exact_->from.reset();  // base and step may lie in it: used up above
}

const BigInt& LinearTime::Denominator() const {
  if (hasSmall_ && !exact_) {
    PrepareExact(Rational::FromFraction(small_.baseNumerator, small_.baseDenominator),
                 Rational::FromFraction(small_.stepNumerator, small_.stepDenominator));
  }
  if (exact_->from) PrepareExact(exact_->from->first, exact_->from->second);
  return exact_->denominator;
}

bool LinearTime::FixedAt(u64 n, Fixed& t) const {
  if (fixedPending_) MakeFixed();
  const u128 p0 = u128{n} * step_[0], p1 = u128{n} * step_[1], p2 = u128{n} * step_[2];
  u128 sum = u128{static_cast<u64>(p0)} + base_[0];
  t[0] = static_cast<u64>(sum);
  sum = (sum >> 64) + (p0 >> 64) + static_cast<u64>(p1) + base_[1];
  t[1] = static_cast<u64>(sum);
  sum = (sum >> 64) + (p1 >> 64) + static_cast<u64>(p2) + base_[2];
  t[2] = static_cast<u64>(sum);
  return (sum >> 64) + (p2 >> 64) == 0;
}

bool LinearTime::FixedBounds(unsigned __int128 n, Fixed& low, unsigned __int128& error) const {
  if (!fast_ || n > UINT64_MAX || !FixedAt(static_cast<u64>(n), low)) return false;
  error = ErrorAt(static_cast<u64>(n));
  return true;
}

bool LinearTime::FixedStep(Fixed& step, std::uint64_t& inexact) const {
  if (fixedPending_) MakeFixed();
  step = step_;
  inexact = stepInexact_;
  return fast_;
}

u128 LinearTime::ErrorAt(u64 n) const {
  if (fixedPending_) MakeFixed();
  return u128{n} * stepInexact_ + baseInexact_;
}

LinearTime::Rounded LinearTime::RoundFast(u64 n, u64 scale) const {
  Fixed t;
  if (!FixedAt(n, t)) return {0, true, false};
  // y = scale x T + 2^127: its top two limbs are the rounded result, its low
  // two the fraction, which must stay below 2^128 up to T + err.
  u128 y = u128{scale} * t[0];
  const auto y0 = static_cast<u64>(y);
  y = (y >> 64) + u128{scale} * t[1] + (u64{1} << 63);
  const auto y1 = static_cast<u64>(y);
  y = (y >> 64) + u128{scale} * t[2];
  const u128 fraction = (u128{y1} << 64) | y0;
  return {y, false, u128{scale} * ErrorAt(n) <= ~fraction};
}

std::int64_t LinearTime::Sample(unsigned __int128 n, std::uint32_t rate) const {
  if (fast_ && n <= UINT64_MAX && rate != 0) {
    const Rounded r = RoundFast(static_cast<u64>(n), rate);
    // The bound is below the time, so a bound past the limit settles it.
    if (r.beyond || r.value > INT64_MAX) return INT64_MAX;
    if (r.certain) return static_cast<std::int64_t>(r.value);
  }
  return SampleExact(NumeratorAt(n), rate, Denominator());
}

void LinearTime::AppendSeconds(unsigned __int128 n, int decimals, std::string& out) const {
  decimals = CheckedDecimals(decimals);
  if (fast_ && n <= UINT64_MAX) {
    const Rounded r = RoundFast(static_cast<u64>(n), kPowersOfTen[decimals]);
    if (!r.beyond && r.certain && r.value <= UINT64_MAX) {
      kUnitsWriters[decimals](static_cast<u64>(r.value), out);
      return;
    }
  }
  AppendSecondsExact(NumeratorAt(n), decimals, Denominator(), out);
}

bool LinearTime::NearestFast(u64 n, double& result) const {
  Fixed t;
  if (!FixedAt(n, t)) return false;
  const u128 err = ErrorAt(n);
  u128 sum = u128{t[0]} + static_cast<u64>(err);
  const auto e0 = static_cast<u64>(sum);
  sum = (sum >> 64) + t[1] + static_cast<u64>(err >> 64);
  const auto e1 = static_cast<u64>(sum);
  sum = (sum >> 64) + t[2];
  if (sum >> 64 != 0) return false;
  result = NearestFixed(t[2], t[1], t[0]);
  return result == NearestFixed(static_cast<u64>(sum), e1, e0);
}

double LinearTime::Nearest(unsigned __int128 n) const {
  double result = 0.0;
  if (hasSmall_ && NearestSmall(n, result)) return result;
  if (fast_ && n <= UINT64_MAX && NearestFast(static_cast<u64>(n), result)) return result;
  return NearestExact(NumeratorAt(n), Denominator());
}

// From the base and step while they are kept: a sum that cancels the
// denominators' common factors first is far cheaper than reducing
// numerator / denominator afresh when the base's denominator is long.
Rational LinearTime::At(unsigned __int128 n) const {
  if (n == 0 && hasSmall_) return Rational::FromFraction(small_.baseNumerator, small_.baseDenominator);
  if (exact_ && exact_->from) {
    const auto& [base, step] = *exact_->from;
    if (n == 0) return base;  // already in lowest terms
    return base + Rational(BigInt::FromUnsigned128(n), BigInt(1)) * step;
  }
  return Rational(NumeratorAt(n), Denominator());
}

BigInt LinearTime::NumeratorAt(unsigned __int128 n) const {
  Denominator();
  return exact_->numerator0 + BigInt::FromUnsigned128(n) * exact_->numeratorStep;
}

void LinearTime::AppendSample(unsigned __int128 n, std::uint32_t rate, std::string& out) const {
  const std::int64_t held = Sample(n, rate);
  if (held < INT64_MAX) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, held).ptr);
    return;
  }
  out += RoundHalfUp(NumeratorAt(n), BigInt::FromUnsigned(rate), Denominator()).ToDecimal();
}

void AppendSecondsAt(const Rational& time, int decimals, std::string& out) {
  decimals = CheckedDecimals(decimals);
  AppendSecondsExact(time.numerator(), decimals, time.denominator(), out);
}

std::string SecondsOutside(const Rational& time, const Rational& low, const Rational& high) {
  std::string text;
  for (int decimals = kMaxDecimals; decimals <= 60; ++decimals) {
    text.clear();
    AppendSecondsExact(time.numerator(), decimals, time.denominator(), text);
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    const bool negative = text[0] == '-';
    const Rational magnitude = *Rational::FromDecimal(std::string_view(text).substr(negative ? 1 : 0));
    const Rational shown = negative ? -magnitude : magnitude;
    if (shown < low || shown > high) break;
  }
  return text;
}

double NearestDouble(const Rational& time) {
  return NearestExact(time.numerator(), time.denominator());
}

}  // namespace beatmarks
