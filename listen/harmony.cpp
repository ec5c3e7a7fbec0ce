#include "listen/harmony.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "listen/recording_reader.h"

namespace beatmarks {
namespace {

constexpr double kChromaSeconds = 0.4;  // the longest stretch of a beat heard
constexpr double kSkipSeconds = 0.01;   // the attack's own noise left out
constexpr double kTargetRate = 6000;    // samples a second after averaging
constexpr int kLowestKey = 36, kKeys = 60;
// A long recording is heard in runs of kRunBeats beats (every place in the
// measure in each), kMostBeats in all, spread evenly over it.
constexpr std::size_t kRunBeats = 8, kMostBeats = 256;
// A change of harmony between pairs of beats is clear at this size (1 -
// cosine of their chromas); a piece moves in two where its changes on beats
// 1 and 3 are both clear and the smaller at least kTwoShare of the larger.
// Measured on rendered pieces: chords that change every measure of four
// give 0.48 to 0.82 on beat 1 and at most 0.19 on beat 3; drums alone 0.01
// to 0.02; a march in two 0.53 and 0.65 (plucked sines 0.26 and 0.38).
constexpr double kClearChange = 0.22, kTwoShare = 0.5;

// `mono` averaged over runs of `factor` samples: pitches up to B6 keep
// their place, at a cost that does not grow with them.
std::vector<double> Decimate(const std::vector<float>& mono, std::size_t factor) {
  std::vector<double> out(mono.size() / factor);
  for (std::size_t i = 0; i < out.size(); ++i) {
    double sum = 0;
    for (std::size_t j = 0; j < factor; ++j) sum += mono[i * factor + j];
    out[i] = sum / static_cast<double>(factor);
  }
  return out;
}

// The power at each key's frequency over the Hann-windowed `x` (Goertzel),
// folded into pitch classes and scaled to unit length.
Chroma ChromaOf(std::vector<double> x, double rate) {
  Chroma chroma{};
  if (x.size() < 2) return chroma;
  const double n = static_cast<double>(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    x[i] *= 0.5 - 0.5 * std::cos(2 * std::numbers::pi * (static_cast<double>(i) + 0.5) / n);
  }
  for (int key = kLowestKey; key < kLowestKey + kKeys; ++key) {
    const double hz = 440 * std::pow(2.0, (key - 69) / 12.0);
    const double c = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double s1 = 0, s2 = 0;
    for (const double v : x) {
      const double s0 = v + c * s1 - s2;
      s2 = s1, s1 = s0;
    }
    const double power = std::max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2);
    chroma[static_cast<std::size_t>(key % 12)] += static_cast<float>(std::sqrt(power));
  }
  double length = 0;
  for (const float v : chroma) length += double{v} * v;
  if (length > 0) {
    for (float& v : chroma) v = static_cast<float>(v / std::sqrt(length));
  }
  return chroma;
}

// Whether beat k is among those heard for the harmony.
bool Heard(std::size_t k, std::size_t beats) {
  if (beats <= kMostBeats) return true;
  const std::size_t every = beats / (kMostBeats / kRunBeats);  // at least kRunBeats
  return k % every < kRunBeats;
}

bool Silent(const Chroma& c) {
  return std::all_of(c.begin(), c.end(), [](float v) { return v == 0; });
}

double Change(const Chroma& a, const Chroma& b) {
  double dot = 0, la = 0, lb = 0;
  for (std::size_t c = 0; c < 12; ++c) dot += double{a[c]} * b[c], la += double{a[c]} * a[c], lb += double{b[c]} * b[c];
  return la > 0 && lb > 0 ? 1 - dot / std::sqrt(la * lb) : 0;
}

}  // namespace

bool BeatChromas(const std::string& path, const std::vector<std::int64_t>& samples, std::vector<Chroma>& chromas,
                 std::string& error) {
  RecordingReader recording;
  if (!recording.Open(path, error)) return false;
  const double rate = recording.Rate();
  const auto factor = std::max<std::size_t>(1, static_cast<std::size_t>(rate / kTargetRate));
  const auto skip = static_cast<std::int64_t>(kSkipSeconds * rate);
  const auto longest = static_cast<std::int64_t>(kChromaSeconds * rate);
  std::vector<float> mono;
  chromas.clear();
  for (std::size_t k = 0; k < samples.size(); ++k) {
    if (!Heard(k, samples.size())) {
      chromas.push_back({});
      continue;
    }
    const std::int64_t next = k + 1 < samples.size() ? samples[k + 1] : samples[k] + longest;
    const std::int64_t length = std::min(longest, next - samples[k]) - skip;
    if (length <= 0 || !recording.ReadMono(samples[k] + skip, length, mono, error)) {
      if (length > 0) return false;
      chromas.push_back({});
      continue;
    }
    chromas.push_back(ChromaOf(Decimate(mono, factor), rate / static_cast<double>(factor)));
  }
  return true;
}

std::array<double, 2> HalfMeasureChanges(const std::vector<Chroma>& chromas, std::int32_t downbeat) {
  std::array<double, 2> sum{}, count{};
  // Pairs start on the beats of downbeat's parity; each pair's chroma is
  // the sum of its two beats'.
  const auto pairOf = [&](std::size_t g) {
    Chroma c{};
    for (std::size_t k = g; k < g + 2; ++k) {
      for (std::size_t p = 0; p < 12; ++p) c[p] += chromas[k][p];
    }
    return c;
  };
  for (auto g = static_cast<std::size_t>(downbeat % 2) + 2; g + 2 <= chromas.size(); g += 2) {
    const Chroma before = pairOf(g - 2), after = pairOf(g);
    if (Silent(before) || Silent(after)) continue;  // not heard, or silence
    const auto at = static_cast<std::size_t>((static_cast<std::int64_t>(g) - downbeat) % 4 + 4) % 4 / 2;
    sum[at] += Change(before, after);
    count[at] += 1;
  }
  return {count[0] > 0 ? sum[0] / count[0] : 0, count[1] > 0 ? sum[1] / count[1] : 0};
}

MeterGuess TwoOrFour(const std::array<double, 2>& changes, std::int32_t downbeat) {
  const double one = changes[0], three = changes[1];
  const double less = std::min(one, three), more = std::max(one, three);
  if (less >= kClearChange && less >= kTwoShare * more) return {2, downbeat % 2, true};
  if (three >= kClearChange && one < kTwoShare * three) return {4, (downbeat + 2) % 4, true};
  return {4, downbeat, one >= kClearChange};
}

}  // namespace beatmarks
