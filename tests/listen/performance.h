#pragma once

// Performances rendered for the tests of listen/: hits of several kinds at
// known samples over a ringing bass, background noise and reverb, written
// through libsndfile.

#include <cstdint>
#include <string>
#include <vector>

namespace beatmarks::testing {

enum class HitKind : std::uint8_t {
  kNoiseBurst,  // a snare or hi-hat: noise, decaying fast
  kPluck,       // a sine from phase 0, decaying
  kKick,        // a sine sweeping down from 150 Hz to 50 Hz
  kSoftTone,    // a piano-like tone whose level rises over 4 ms
  kClick,       // a cross-stick or a metronome: over within 1 ms
};

// A hit's first sample is `sample`: the first of its rendered samples, which
// for a sine from phase 0 is itself 0 (the sound rises from there).
struct Hit {
  std::int64_t sample = 0;
  HitKind kind = HitKind::kNoiseBurst;
  double gain = 0.5;
};

struct Backdrop {
  double noiseDb = -40;   // white noise throughout, RMS in dB full scale
  double bassGain = 0;    // a 55 Hz note ringing through the whole recording
  double reverbDb = -24;  // each hit's tail of decaying noise, against the hit
};

std::vector<float> Render(const std::vector<Hit>& hits, std::int64_t frames, std::uint32_t rate,
                          const Backdrop& backdrop, std::uint32_t seed);

// Beats from `firstSample` at `bpm`, the tempo drifting by up to `drift`
// (a fraction) over slow waves, each on a whole sample.
std::vector<std::int64_t> DriftingBeats(std::int64_t firstSample, std::size_t count, double bpm,
                                        double drift, std::uint32_t rate);

// A hit on every beat, the kinds taken in turn.
std::vector<Hit> HitsOn(const std::vector<std::int64_t>& beats, const std::vector<HitKind>& kinds);

// Writes `mono` as `channels` channels (the first one louder; their mean is
// `mono` at two thirds, so no channel clips) in `format` (libsndfile's SF_FORMAT_*); the error is libsndfile's.
bool WriteRecording(const std::string& path, const std::vector<float>& mono, int channels,
                    std::uint32_t rate, int format, std::string& error);

// Taps as a person makes them: each beat late by `lagMs`, with a jitter of
// up to `jitterMs` either way.
std::vector<double> Taps(const std::vector<std::int64_t>& beats, std::uint32_t rate, double lagMs,
                         double jitterMs, std::uint32_t seed);

}  // namespace beatmarks::testing
