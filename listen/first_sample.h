#pragma once

// An attack's first sample: where the sound starts to rise out of what was
// sounding before. What was sounding is modelled on a stretch before the
// attack and carried on by itself past it: a linear predictor (Burg's
// method) of block means at about 3 kHz, where a held note or a bass is
// predictable from one value to the next as it is not at the full rate.
// What the recording holds beyond that continuation is the new sound.
// The split between a quieter stretch before and a louder one after that
// explains that excess best (the most likely change of power, as seismic
// pickers place a first arrival) puts the attack on a sample, whatever the
// detector's window. The same split is also made on the second difference
// of the recording, where notes still ringing below a few hundred hertz
// (a bass, a piano's body) fade by tens of dB and a struck or plucked
// note's first sample stands out; the view whose split explains its stretch
// better places the attack.

#include <cstdint>
#include <vector>

namespace beatmarks {

class FirstSample {
 public:
  explicit FirstSample(std::uint32_t rate);

  // Samples needed before and after the rough position.
  std::int64_t ContextBefore() const;
  std::int64_t ContextAfter() const { return after_; }

  // The first sample of the attack found near frame `rough` (a detector's
  // hop, at or after it, within the search's reach); `mono` holds frames
  // [origin, origin + size) and reaches the context either side (what lies
  // outside reads as silence).
  std::int64_t Find(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t rough);

 private:
  void ModelBefore(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start);
  void Unpredicted(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start, std::int64_t n);
  void Excess(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start, std::int64_t n);
  // A split of `signal` and how much better it explains it than no split.
  struct Split {
    std::int64_t at = 0;
    double gain = 0;
  };
  Split MostLikelySplit(const std::vector<double>& signal);
  void SecondDifference(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start,
                        std::int64_t n);
  std::int64_t Place(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start,
                     std::int64_t end);

  std::int64_t block_;   // samples a mean
  std::int64_t model_;   // blocks the predictor is fitted on
  std::int64_t search_;  // samples before the rough position searched
  std::int64_t after_;   // samples after it
  std::int64_t guard_;   // samples between a model's end and the attack
  std::int64_t fullModel_;  // samples the full-rate predictor is fitted on
  std::vector<double> full_, unpredicted_;
  std::vector<double> forward_, backward_, coefficients_, previous_, continued_, excess_, bright_, sums_;
};

}  // namespace beatmarks
