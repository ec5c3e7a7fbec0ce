#include "core/number_scan.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

namespace beatmarks {
namespace {

// Float rounding boundaries have at most about 115 significant decimal
// digits, so 200 digits plus a sticky nonzero digit round like the full text.
constexpr std::size_t kKeptDigits = kExactTempoDigits;
constexpr std::int64_t kExponentLimit = 100000;  // far past any float or double

}  // namespace

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r' || c == 0;
}

int DigitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

int TextSource::Peek(std::size_t ahead) const {
  std::size_t at = pos_ + ahead;
  return at < text_.size() ? static_cast<unsigned char>(text_[at]) : -1;
}

void TextSource::Skip(std::size_t count) {
  pos_ = count < text_.size() - pos_ ? pos_ + count : text_.size();
}

void ClampedMagnitude::Add(int digit, int base) {
  constexpr std::uint64_t kSaturated = std::uint64_t{1} << 40;
  if (value_ < kSaturated) {
    value_ = value_ * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
}

std::int32_t ClampedMagnitude::Result(bool negative) const {
  constexpr std::uint64_t kMaxPositive = INT32_MAX;
  if (negative) {
    if (value_ > kMaxPositive) return INT32_MIN;
    return -static_cast<std::int32_t>(value_);
  }
  return value_ > kMaxPositive ? INT32_MAX : static_cast<std::int32_t>(value_);
}

void DecimalDigits::AddDigit(int c, bool afterPoint) {
  if (digits_.empty() && c == '0') {
    if (afterPoint) --exponent_;  // leading zero of a fraction
    return;
  }
  if (digits_.size() < kKeptDigits) {
    digits_.push_back(static_cast<char>(c));
    if (afterPoint) --exponent_;
    return;
  }
  if (c != '0') sticky_ = true;
  if (!afterPoint) ++exponent_;
}

void DecimalDigits::AddExponent(std::int64_t exponent) { exponent_ += exponent; }

std::string DecimalDigits::Canonical(bool negative) const {
  std::string text = negative ? "-" : "";
  if (digits_.empty()) return text + "0";
  std::int64_t exponent = exponent_;
  text += digits_;
  if (sticky_) {
    text += '1';
    --exponent;
  }
  if (exponent > kExponentLimit) exponent = kExponentLimit;
  if (exponent < -kExponentLimit) exponent = -kExponentLimit;
  return text + "e" + std::to_string(exponent);
}

float DecimalToFloat(const std::string& canonical) {
  return std::strtof(canonical.c_str(), nullptr);
}

float DecimalToDoubleToFloat(const std::string& canonical) {
  return NarrowToFloat(std::strtod(canonical.c_str(), nullptr));
}

float NarrowToFloat(double value) {
  if (!std::isfinite(value) || std::fabs(value) <= FLT_MAX) {
    return static_cast<float>(value);
  }
  // Past FLT_MAX, IEEE rounding gives FLT_MAX below the midpoint to 2^128 and
  // infinity from it on (the tie goes to the even significand, infinity).
  const double midpoint = static_cast<double>(FLT_MAX) + std::ldexp(1.0, 103);
  float magnitude = std::fabs(value) >= midpoint ? INFINITY : FLT_MAX;
  return value < 0 ? -magnitude : magnitude;
}

std::int32_t DecimalInt32(std::string_view text) {
  TextSource source(text);
  return ScanInteger(source, IntegerForm::kDecimal).value_or(0);
}

std::int64_t DecimalInt64(std::string_view text) {
  TextSource in(text);
  SkipSpace(in);
  bool negative = false;
  in.Skip(PeekSign(in, 0, negative));
  // The magnitude saturates one past INT64_MAX, which is INT64_MIN's.
  constexpr std::uint64_t kMost = std::uint64_t{1} << 63;
  std::uint64_t magnitude = 0;
  for (int d; (d = DigitValue(in.Peek(0))) <= 9; in.Skip(1)) {
    magnitude = magnitude > (kMost - static_cast<unsigned>(d)) / 10 ? kMost : magnitude * 10 + static_cast<unsigned>(d);
  }
  if (negative) return magnitude == kMost ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
  return magnitude >= kMost ? INT64_MAX : static_cast<std::int64_t>(magnitude);
}

float MapTempo(std::string_view text) {
  TextSource source(text);
  std::optional<std::string> canonical = ScanDecimal(source);
  return canonical ? DecimalToDoubleToFloat(*canonical) : 0.0f;
}

std::string MapTempoText(std::string_view text) {
  TextSource source(text);
  return ScanDecimal(source).value_or("");
}

bool CanonicalIsExact(std::string_view canonical) {
  std::size_t digits = canonical.find('e');
  if (digits == std::string_view::npos) return true;  // no number, or zero
  if (!canonical.empty() && canonical[0] == '-') --digits;
  return digits <= kExactTempoDigits;
}

std::string PlainDecimal(std::string_view canonical) {
  std::string sign = !canonical.empty() && canonical[0] == '-' ? "-" : "";
  std::size_t e = canonical.find('e');
  std::string digits(canonical.substr(sign.size(), e - sign.size()));
  long long exponent = std::atoll(std::string(canonical.substr(e + 1)).c_str());
  if (digits == "0") return "0";
  for (; digits.size() > 1 && digits.back() == '0'; ++exponent) digits.pop_back();
  if (exponent >= 0) return sign + digits + std::string(static_cast<std::size_t>(exponent), '0');
  const long long point = static_cast<long long>(digits.size()) + exponent;
  if (point > 0) {
    return sign + digits.substr(0, static_cast<std::size_t>(point)) + "." +
           digits.substr(static_cast<std::size_t>(point));
  }
  return sign + "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
}

std::int32_t MeasureIndex(std::int32_t measureNumber) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(measureNumber) - 1u);
}

}  // namespace beatmarks
