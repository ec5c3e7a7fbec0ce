// Taps snapped to a rendered performance, 48 kHz stereo: 5 minutes with 500
// taps, and 80 seconds with its 133, against a whole-file onset detector of
// the usual kind over the same 80 seconds (short-time spectra of 1024
// samples every 512, spectral flux, peaks): read, mixed down and
// transformed, with an FFT written here (radix 2, precomputed twiddles).
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "listen/attacks.h"
#include "listen/follow.h"
#include "listen/performance.h"
#include "listen/snap.h"

namespace beatmarks {
namespace {

constexpr std::uint32_t kRate = 48000;

// A rendered recording in a temporary file, removed at exit.
struct Take {
  Take(double seconds, const char* name);
  Take(const Take&) = delete;
  Take& operator=(const Take&) = delete;
  ~Take() { ::unlink(path.c_str()); }
  std::string path;
  std::vector<double> taps;
  std::vector<std::int64_t> beats;  // the hits' first samples
};

Take::Take(double seconds, const char* name) {
  using testing::HitKind;
  const auto count = static_cast<std::size_t>((seconds - 2) / 0.6);  // 100 beats a minute, all inside
  const auto beats = testing::DriftingBeats(kRate / 2, count, 100, 0.05, kRate);
  const auto frames = static_cast<std::int64_t>(seconds * kRate);
  const auto mono = testing::Render(
      testing::HitsOn(beats, {HitKind::kKick, HitKind::kNoiseBurst, HitKind::kPluck, HitKind::kNoiseBurst}),
      frames, kRate, {-40, 0.15, -24}, 3);
  path = std::string("/tmp/beatmarks-snap-bench-") + name + "-" + std::to_string(::getpid()) + ".wav";
  taps = testing::Taps(beats, kRate, 10, 15, 4);
  this->beats = beats;
  std::string error;
  if (!testing::WriteRecording(path, mono, 2, kRate, SF_FORMAT_WAV | SF_FORMAT_PCM_24, error)) std::abort();
}

const Take& FiveMinutes() {
  static const Take take(300, "5min");
  return take;
}

const Take& EightySeconds() {
  static const Take take(80, "80s");
  return take;
}

void Snap(benchmark::State& state, const Take& take) {
  SnapResult result;
  std::string error;
  for (auto _ : state) {
    if (!SnapTaps(take.path, take.taps, {}, result, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(result.beats.data());
  }
  state.counters["taps"] = static_cast<double>(take.taps.size());
  state.counters["snapped"] = static_cast<double>(result.snappedCount);
}

void BM_Snap5MinutesStereo48k(benchmark::State& state) { Snap(state, FiveMinutes()); }
void BM_Snap80SecondsStereo48k(benchmark::State& state) { Snap(state, EightySeconds()); }

void BM_ListAttacks5MinutesStereo48k(benchmark::State& state) {
  AttackList list;
  std::string error;
  for (auto _ : state) {
    if (!ListAttacks(FiveMinutes().path, 0, 1e9, list, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(list.attacks.data());
  }
  state.counters["attacks"] = static_cast<double>(list.attacks.size());
}

// The comparison: a spectral-flux onset detector over the whole file.
// --follow's part in the recording: every attack listed, then the beats
// after the first eight (as the snap places the taps of two measures)
// followed to the end; counters say how many beats lie within 1 ms of the
// rendered ones.
void BM_Follow5MinutesStereo48k(benchmark::State& state) {
  const Take& take = FiveMinutes();
  std::vector<std::int64_t> known(take.beats.begin(), take.beats.begin() + 8);
  FollowedOn on;
  std::string error;
  for (auto _ : state) {
    AttackList list;
    if (!ListAttacks(take.path, 0, 1e9, list, error)) state.SkipWithError(error.c_str());
    on = FollowOn(AttacksLikeBeats(list.attacks, known), known, SIZE_MAX, list.frames, list.rate);
    benchmark::DoNotOptimize(on.beats.data());
  }
  std::size_t close = 0;
  for (std::size_t i = 0; i < on.beats.size() && i + 8 < take.beats.size(); ++i) {
    close += std::llabs(on.beats[i].sample - take.beats[i + 8]) <= kRate / 1000;
  }
  state.counters["beats"] = static_cast<double>(take.beats.size());
  state.counters["followed"] = static_cast<double>(on.beats.size() + 8);
  state.counters["within_1ms"] = static_cast<double>(close + 8);
}

class Spectra {
 public:
  explicit Spectra(std::size_t n) : n_(n), window_(n), twiddles_(n / 2), order_(n) {
    for (std::size_t i = 0; i < n; ++i) {
      window_[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n));
    }
    for (std::size_t k = 0; k < n / 2; ++k) {
      twiddles_[k] = std::polar(1.0, -2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n));
    }
    std::size_t bits = 0;
    while ((std::size_t{1} << bits) < n) ++bits;
    for (std::size_t i = 0; i < n; ++i) {
      std::size_t r = 0;
      for (std::size_t b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
      order_[i] = r;
    }
  }

  // Magnitudes of bins [0, n/2] of the windowed frame.
  void Magnitudes(const float* frame, std::vector<double>& out) {
    data_.resize(n_);
    for (std::size_t i = 0; i < n_; ++i) data_[order_[i]] = {frame[i] * window_[i], 0.0};
    for (std::size_t len = 2; len <= n_; len <<= 1) {
      const std::size_t step = n_ / len;
      for (std::size_t i = 0; i < n_; i += len) {
        for (std::size_t j = 0; j < len / 2; ++j) {
          const std::complex<double> t = twiddles_[j * step] * data_[i + j + len / 2];
          data_[i + j + len / 2] = data_[i + j] - t;
          data_[i + j] += t;
        }
      }
    }
    out.resize(n_ / 2 + 1);
    for (std::size_t k = 0; k <= n_ / 2; ++k) out[k] = std::abs(data_[k]);
  }

 private:
  std::size_t n_;
  std::vector<double> window_;
  std::vector<std::complex<double>> twiddles_, data_;
  std::vector<std::size_t> order_;
};

std::size_t SpectralFluxOnsets(const std::string& path) {
  constexpr std::size_t kSize = 1024, kHop = 512;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) std::abort();
  std::vector<float> interleaved(kHop * static_cast<std::size_t>(info.channels));
  std::vector<float> frame(kSize, 0.0f);
  std::vector<double> previous(kSize / 2 + 1, 0.0), magnitudes, flux;
  Spectra spectra(kSize);
  for (;;) {
    const sf_count_t got = sf_readf_float(file, interleaved.data(), kHop);
    if (got <= 0) break;
    std::copy(frame.begin() + kHop, frame.end(), frame.begin());
    for (std::size_t i = 0; i < kHop; ++i) {
      float sum = 0;
      for (int c = 0; c < info.channels; ++c) {
        sum += static_cast<sf_count_t>(i) < got ? interleaved[i * static_cast<std::size_t>(info.channels) + static_cast<std::size_t>(c)] : 0.0f;
      }
      frame[kSize - kHop + i] = sum / static_cast<float>(info.channels);
    }
    spectra.Magnitudes(frame.data(), magnitudes);
    double rise = 0;
    for (std::size_t k = 0; k < magnitudes.size(); ++k) rise += std::max(0.0, magnitudes[k] - previous[k]);
    flux.push_back(rise);
    previous.swap(magnitudes);
  }
  sf_close(file);
  // Peaks over a moving mean.
  std::size_t onsets = 0;
  for (std::size_t i = 3; i + 3 < flux.size(); ++i) {
    double mean = 0;
    for (std::size_t j = i - 3; j <= i + 3; ++j) mean += flux[j];
    mean /= 7;
    onsets += flux[i] > flux[i - 1] && flux[i] >= flux[i + 1] && flux[i] > 1.5 * mean;
  }
  return onsets;
}

void BM_SpectralFluxOnsets80SecondsStereo48k(benchmark::State& state) {
  std::size_t onsets = 0;
  for (auto _ : state) benchmark::DoNotOptimize(onsets = SpectralFluxOnsets(EightySeconds().path));
  state.counters["onsets"] = static_cast<double>(onsets);
}

BENCHMARK(BM_Snap5MinutesStereo48k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Snap80SecondsStereo48k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpectralFluxOnsets80SecondsStereo48k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListAttacks5MinutesStereo48k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Follow5MinutesStereo48k)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace beatmarks
