#pragma once

// The tempos of a measure's beats, each an exact fraction, shown as the
// slowest, the mean and the fastest, each the exact value rounded once to two
// decimals (a half up). Nothing is allocated per measure: the sum is kept in
// 128-bit integers and 64-bit fractions, which decide the mean's rounding
// unless it lies within a few 2^-60 of a half; only then is it summed in
// big integers, from the fractions kept for the purpose.

#include <cstdint>
#include <string>
#include <vector>

namespace beatmarks {

class ExactTempoSpread {
 public:
  // A tempo of numerator / denominator beats a minute (denominator above 0,
  // the tempo below 2^80), taken by `beats` beats (0 to 2^31).
  void Add(unsigned __int128 numerator, std::uint64_t denominator, std::int64_t beats);
  void Clear();
  bool Empty() const { return beats_ == 0; }
  // "96.20–101.37–108.00", one number when the three agree.
  void AppendText(std::string& out) const;

 private:
  using u128 = unsigned __int128;
  // floor(200 x sum / beats + 1/2) ... the mean in hundredths, rounded.
  u128 MeanHundredths() const;
  u128 MeanExactly() const;

  u128 least_ = 0, most_ = 0;  // in hundredths, rounded
  std::int64_t beats_ = 0;
  // Sum of beats x tempo: whole_ plus the fractions' sum, whose floor in
  // units of 2^-64 is fraction_ (each fraction adds less than one unit of
  // error).
  u128 whole_ = 0, fraction_ = 0;
  // The fractions themselves, remainder / denominator, for the exact sum.
  struct Part {
    std::uint64_t remainder, denominator;
  };
  std::vector<Part> parts_;
};

// A tempo numerator / denominator in hundredths, a half up.
unsigned __int128 TempoHundredths(unsigned __int128 numerator, std::uint64_t denominator);

}  // namespace beatmarks
