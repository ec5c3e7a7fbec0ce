#include "listen/performance.h"

#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <random>

namespace beatmarks::testing {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Uniform in [-1, 1), the same on every platform.
double Uniform(std::mt19937& random) { return static_cast<double>(random()) / 2147483648.0 - 1.0; }

double Decibels(double db) { return std::pow(10.0, db / 20.0); }

// The hit's n-th sample, n from 0, and how long it lasts.
double HitSample(HitKind kind, std::int64_t n, double rate, std::mt19937& random) {
  const double t = static_cast<double>(n) / rate;
  switch (kind) {
    case HitKind::kNoiseBurst:
      return Uniform(random) * std::exp(-t / 0.030);
    case HitKind::kPluck:
      return std::sin(kTwoPi * 660 * t) * std::exp(-t / 0.080);
    case HitKind::kKick: {
      // Frequency 50 + 100 e^(-t/0.03), its phase the integral.
      const double phase = kTwoPi * (50 * t + 100 * 0.03 * (1 - std::exp(-t / 0.03)));
      return std::sin(phase) * std::exp(-t / 0.15);
    }
    case HitKind::kSoftTone: {
      const double rise = std::min(1.0, t / 0.004);
      const double tone = std::sin(kTwoPi * 220 * t) + 0.5 * std::sin(kTwoPi * 440 * t) +
                          0.25 * std::sin(kTwoPi * 660 * t);
      return 0.6 * tone * rise * std::exp(-t / 0.300);
    }
    case HitKind::kClick:
      return t < 0.001 ? (n % 2 == 0 ? 1.0 : -1.0) * (1 - t / 0.001) : 0.0;
  }
  return 0;
}

}  // namespace

std::vector<float> Render(const std::vector<Hit>& hits, std::int64_t frames, std::uint32_t rate,
                          const Backdrop& backdrop, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<double> mix(static_cast<std::size_t>(frames), 0.0);
  const double noise = Decibels(backdrop.noiseDb) * std::sqrt(3.0);  // uniform noise of that RMS
  for (std::int64_t i = 0; i < frames; ++i) {
    mix[static_cast<std::size_t>(i)] = noise * Uniform(random) +
                                       backdrop.bassGain * std::sin(kTwoPi * 55 * static_cast<double>(i) / rate);
  }
  const double tail = Decibels(backdrop.reverbDb);
  const auto length = static_cast<std::int64_t>(0.6 * rate);
  for (const Hit& hit : hits) {
    for (std::int64_t n = 0; n < length && hit.sample + n < frames; ++n) {
      if (hit.sample + n < 0) continue;
      const double t = static_cast<double>(n) / rate;
      const double reverb = tail * Uniform(random) * std::exp(-t / 0.250);
      mix[static_cast<std::size_t>(hit.sample + n)] += hit.gain * (HitSample(hit.kind, n, rate, random) + reverb);
    }
  }
  return {mix.begin(), mix.end()};
}

std::vector<std::int64_t> DriftingBeats(std::int64_t firstSample, std::size_t count, double bpm,
                                        double drift, std::uint32_t rate) {
  std::vector<std::int64_t> beats;
  double at = static_cast<double>(firstSample);
  for (std::size_t k = 0; k < count; ++k) {
    beats.push_back(std::llround(at));
    const double tempo = bpm * (1 + drift * std::sin(kTwoPi * static_cast<double>(k) / 37.0) *
                                        std::cos(kTwoPi * static_cast<double>(k) / 91.0));
    at += 60.0 / tempo * rate;
  }
  return beats;
}

std::vector<Hit> HitsOn(const std::vector<std::int64_t>& beats, const std::vector<HitKind>& kinds) {
  std::vector<Hit> hits;
  for (std::size_t k = 0; k < beats.size(); ++k) hits.push_back({beats[k], kinds[k % kinds.size()], 0.5});
  return hits;
}

bool WriteRecording(const std::string& path, const std::vector<float>& mono, int channels,
                    std::uint32_t rate, int format, std::string& error) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) {
    error = sf_strerror(nullptr);
    return false;
  }
  std::vector<float> frames(mono.size() * static_cast<std::size_t>(channels));
  for (std::size_t i = 0; i < mono.size(); ++i) {
    for (int c = 0; c < channels; ++c) {
      // Channel 0 carries 1.5 shares, the others what is left: the mean is the mono mix at 2/3.
      const double share = channels == 1 ? 1.0 : c == 0 ? 1.5 : (channels - 1.5) / (channels - 1);
      frames[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
          static_cast<float>(mono[i] * share / 1.5);
    }
  }
  const auto want = static_cast<sf_count_t>(mono.size());
  const bool ok = sf_writef_float(file, frames.data(), want) == want;
  if (!ok) error = sf_strerror(file);
  sf_close(file);
  return ok;
}

std::vector<double> Taps(const std::vector<std::int64_t>& beats, std::uint32_t rate, double lagMs,
                         double jitterMs, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<double> taps;
  for (std::int64_t beat : beats) {
    taps.push_back(static_cast<double>(beat) / rate + (lagMs + jitterMs * Uniform(random)) / 1000.0);
  }
  return taps;
}

}  // namespace beatmarks::testing
