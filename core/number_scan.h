#pragma once

// Reading numbers from text the way the program's users write them: the
// integers of map files, the command line and the prompts, and decimal tempos.
// The scanners work on any source with Peek(ahead) (a byte, or -1 past the
// end) and Skip(count), so prompts and file tokens share one grammar.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace beatmarks {

// C white space (space, \t, \n, \v, \f, \r) and the zero byte.
bool IsSpace(int c);

// Value of a digit in bases up to 16, or 99 for anything else.
int DigitValue(int c);

// A character source over text held in memory.
class TextSource {
 public:
  explicit TextSource(std::string_view text) : text_(text) {}
  int Peek(std::size_t ahead) const;
  void Skip(std::size_t count);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

enum class IntegerForm {
  kDecimal,   // base 10 only
  kPrefixed,  // 0x hexadecimal, leading-0 octal, else decimal
};

// Magnitude of an integer being read, saturating well past the 32-bit range.
class ClampedMagnitude {
 public:
  void Add(int digit, int base);
  // The signed value, clamped to the 32-bit signed range.
  std::int32_t Result(bool negative) const;

 private:
  std::uint64_t value_ = 0;
};

// Significant digits and decimal exponent of a decimal number being read,
// kept short enough to stay bounded yet long enough to round exactly.
class DecimalDigits {
 public:
  void AddDigit(int c, bool afterPoint);
  void AddExponent(std::int64_t exponent);
  // "<sign><digits>e<exponent>", a form every C conversion reads the same way.
  std::string Canonical(bool negative) const;

 private:
  std::string digits_;
  std::int64_t exponent_ = 0;
  bool sticky_ = false;  // a nonzero digit was dropped
};

template <class Source>
void SkipSpace(Source& in) {
  while (IsSpace(in.Peek(0))) in.Skip(1);
}

// An optional sign at the source's position: returns its length (0 or 1).
template <class Source>
std::size_t PeekSign(Source& in, std::size_t at, bool& negative) {
  int c = in.Peek(at);
  negative = c == '-';
  return (c == '+' || c == '-') ? 1 : 0;
}

// Reads the longest integer prefix after white space. Without a digit only the
// white space is consumed and nothing is returned; "0x" not followed by a hex
// digit reads as 0 and leaves the "x".
template <class Source>
std::optional<std::int32_t> ScanInteger(Source& in, IntegerForm form) {
  SkipSpace(in);
  bool negative = false;
  std::size_t i = PeekSign(in, 0, negative);
  if (DigitValue(in.Peek(i)) > 9) return std::nullopt;
  int base = 10;
  if (form == IntegerForm::kPrefixed && in.Peek(i) == '0') {
    int x = in.Peek(i + 1);
    if ((x == 'x' || x == 'X') && DigitValue(in.Peek(i + 2)) < 16) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }
  in.Skip(i);
  ClampedMagnitude magnitude;
  for (int d; (d = DigitValue(in.Peek(0))) < base; in.Skip(1)) {
    magnitude.Add(d, base);
  }
  return magnitude.Result(negative);
}

// Reads the longest prefix in the decimal grammar: sign, digits with an
// optional point ("5." and ".5" count), and an exponent only when digits
// follow it. Returns the canonical form, or nothing (white space consumed).
template <class Source>
std::optional<std::string> ScanDecimal(Source& in) {
  SkipSpace(in);
  bool negative = false;
  std::size_t i = PeekSign(in, 0, negative);
  bool digitFirst = DigitValue(in.Peek(i)) <= 9;
  if (!digitFirst && !(in.Peek(i) == '.' && DigitValue(in.Peek(i + 1)) <= 9)) {
    return std::nullopt;
  }
  in.Skip(i);
  DecimalDigits digits;
  for (; DigitValue(in.Peek(0)) <= 9; in.Skip(1)) digits.AddDigit(in.Peek(0), false);
  if (in.Peek(0) == '.') {
    in.Skip(1);
    for (; DigitValue(in.Peek(0)) <= 9; in.Skip(1)) digits.AddDigit(in.Peek(0), true);
  }
  int e = in.Peek(0);
  if (e == 'e' || e == 'E') {
    bool expNegative = false;
    std::size_t j = 1 + PeekSign(in, 1, expNegative);
    if (DigitValue(in.Peek(j)) <= 9) {
      in.Skip(j);
      ClampedMagnitude exponent;
      for (int d; (d = DigitValue(in.Peek(0))) <= 9; in.Skip(1)) exponent.Add(d, 10);
      digits.AddExponent(exponent.Result(expNegative));
    }
  }
  return digits.Canonical(negative);
}

// The decimal rounded once, directly to single precision.
float DecimalToFloat(const std::string& canonical);

// The decimal rounded to double precision, then narrowed to single.
float DecimalToDoubleToFloat(const std::string& canonical);

// Double to single precision as IEEE rounding does it, without relying on
// out-of-range conversions.
float NarrowToFloat(double value);

// The base-10 integer at the start of text (white space and sign allowed,
// trailing text ignored, no digits give 0), clamped to 32 bits.
std::int32_t DecimalInt32(std::string_view text);

// The same integer clamped to 64 bits instead.
std::int64_t DecimalInt64(std::string_view text);

// The decimal number at the start of text, as a map file's tempo: 0 when there
// is none.
float MapTempo(std::string_view text);

// The decimal number at the start of text in canonical form
// ("<sign><digits>e<exponent>", as DecimalDigits writes it), or "" when there
// is none: the same characters MapTempo reads, kept for exact times.
std::string MapTempoText(std::string_view text);

// Significant digits that a canonical decimal holds exactly; a longer
// decimal was cut when it was read (a last digit 1 stands for the rest).
inline constexpr std::size_t kExactTempoDigits = 200;
// (Text without a number, or zero, counts as exact.)
bool CanonicalIsExact(std::string_view canonical);

// A canonical decimal in plain digits without an exponent: "723e-1" is
// "72.3", "1e-3" is "0.001", "15e2" is "1500".
std::string PlainDecimal(std::string_view canonical);

// A 1-based measure number as a 0-based index, wrapping in 32 bits.
std::int32_t MeasureIndex(std::int32_t measureNumber);

}  // namespace beatmarks
