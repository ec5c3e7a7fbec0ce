#pragma once

// An attack's first sample: where a new sound starts under what was
// sounding before. Notes still ringing are sums of slowly decaying partials,
// which a linear predictor of the recording (Burg's method, order 16, fitted
// on the 10 ms before the search) carries on almost exactly from the samples
// before each; what it cannot predict is the new sound. The split between a
// quieter stretch before and a louder one after that explains what it cannot
// predict best (the most likely change of power, as seismic pickers place a
// first arrival) puts the attack on a sample, whatever the detector's window.
// Where that finds no split, two coarser views decide: the excess over a
// continuation of block means at about 3 kHz (a bass, a held note) and the
// second difference of the recording (struck and plucked notes over low
// ringing ones), the one whose split explains its stretch better.

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

  // How much louder, in dB, what the full-rate predictor cannot predict is
  // after the last sample Find placed than before it: a new sound rises by
  // tens of dB, a stir in noise by a few; 0 where it placed none.
  float NewSoundDb() const { return newSoundDb_; }

 private:
  void ModelBefore(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start);
  void Unpredicted(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start, std::int64_t n);
  void Excess(const float* mono, std::int64_t origin, std::int64_t size, std::int64_t start, std::int64_t n);
  // A split of `signal` and how much better it explains it than no split.
  struct Split {
    std::int64_t at = 0;
    double gain = 0;
    double riseDb = 0;  // power after over power before
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
  float newSoundDb_ = 0;
  std::vector<double> forward_, backward_, coefficients_, previous_, continued_, excess_, bright_, sums_;
};

}  // namespace beatmarks
