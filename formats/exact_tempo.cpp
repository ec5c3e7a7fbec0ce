#include "formats/exact_tempo.h"

#include <algorithm>
#include <charconv>

#include "exact/rational.h"

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

void AppendHundredths(u128 hundredths, std::string& out) {
  char digits[48];
  char* end = std::end(digits);
  const auto cents = static_cast<unsigned>(hundredths % 100);
  *--end = static_cast<char>('0' + cents % 10);
  *--end = static_cast<char>('0' + cents / 10);
  *--end = '.';
  u128 whole = hundredths / 100;
  while (whole > UINT64_MAX) {
    *--end = static_cast<char>('0' + static_cast<int>(whole % 10));
    whole /= 10;
  }
  auto small = static_cast<std::uint64_t>(whole);  // far quicker to divide
  do {
    *--end = static_cast<char>('0' + static_cast<int>(small % 10));
    small /= 10;
  } while (small != 0);
  out.append(end, std::end(digits));
}

}  // namespace

u128 TempoHundredths(u128 numerator, std::uint64_t denominator) {
  // floor(100 x n / d + 1/2) = floor((200 n + d) / 2d), from n's quotient
  // and remainder so that nothing passes 2^128.
  const u128 whole = numerator / denominator, rest = numerator % denominator;
  return whole * 100 + (200 * rest + denominator) / (u128{denominator} * 2);
}

void ExactTempoSpread::Add(u128 numerator, std::uint64_t denominator, std::int64_t beats) {
  if (beats <= 0 || denominator == 0) return;
  const u128 hundredths = TempoHundredths(numerator, denominator);
  least_ = beats_ == 0 ? hundredths : std::min(least_, hundredths);
  most_ = beats_ == 0 ? hundredths : std::max(most_, hundredths);
  beats_ += beats;
  // beats x tempo = whole + remainder / denominator.
  const auto count = static_cast<u128>(beats);
  const u128 scaled = count * (numerator % denominator);
  whole_ += count * (numerator / denominator) + scaled / denominator;
  const auto remainder = static_cast<std::uint64_t>(scaled % denominator);
  if (remainder == 0) return;
  fraction_ += (u128{remainder} << 64) / denominator;
  parts_.push_back({remainder, denominator});
}

void ExactTempoSpread::Clear() {
  least_ = most_ = whole_ = fraction_ = 0;
  beats_ = 0;
  parts_.clear();
}

// The mean is sum / beats; its hundredths floor((200 sum + beats) / 2 beats).
// The fractions' sum lies in [fraction_, fraction_ + parts) units of 2^-64:
// where both ends round alike, so does the sum.
u128 ExactTempoSpread::MeanHundredths() const {
  const auto beats = static_cast<u128>(beats_);
  const u128 fractions = 200 * fraction_;  // below 2^103 for up to 2^31 parts
  const u128 low = 200 * whole_ + beats + (fractions >> 64);
  const u128 above = (fractions & UINT64_MAX) + 200 * u128{parts_.size()};
  const u128 high = low + (above >> 64);
  if (low / (2 * beats) == high / (2 * beats)) return low / (2 * beats);
  return MeanExactly();
}

u128 ExactTempoSpread::MeanExactly() const {
  Rational sum(BigInt::FromUnsigned128(whole_), BigInt(1));
  for (const Part& part : parts_) sum += Rational::FromFraction(part.remainder, part.denominator);
  const BigInt beats(beats_);
  const BigInt mean = BigInt::FloorDiv(sum.numerator() * BigInt(200) + beats * sum.denominator(),
                                       BigInt(2) * beats * sum.denominator());
  u128 hundredths = 0;
  mean.ToUnsigned128(hundredths);  // between the least and the most
  return hundredths;
}

void ExactTempoSpread::AppendText(std::string& out) const {
  AppendHundredths(least_, out);
  if (least_ == most_) return;
  out += "\u2013";
  AppendHundredths(MeanHundredths(), out);
  out += "\u2013";
  AppendHundredths(most_, out);
}

}  // namespace beatmarks
