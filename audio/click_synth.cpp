#include "audio/click_synth.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace beatmarks {
namespace {

struct ClickVoice {
  double pitch;     // Hz at full sample rates
  double level;     // peak, of full scale
  double duration;  // seconds
};

// Downbeat, beat, division.
constexpr std::array<ClickVoice, 3> kVoices{{{1600, 0.89, 0.020}, {1000, 0.6, 0.020},
                                            {1000, 0.25, 0.010}}};
constexpr double kHighestPitch = 1600;
// Pitches stay at or below an eighth of the sample rate, far from aliasing;
// below this rate a click is a smooth pulse without a tone.
constexpr std::int32_t kLowestToneRate = 4000;
constexpr std::int64_t kShortestPulse = 8;
// Past this length (sample rates in the megahertz) a click is a pulse too,
// and no longer than this.
constexpr std::int64_t kLongestClick = 1 << 16;
constexpr double kFadeSeconds = 0.003;
constexpr std::int64_t kShortestFade = 4;

double Squared(double x) { return x * x; }

// A tone burst: a two-period rise and a long fall, both raised-cosine, so
// that the spectrum stays close to the pitch.
std::vector<double> ToneBurst(const ClickVoice& voice, double rate) {
  double pitch = voice.pitch * std::min(1.0, rate / 8 / kHighestPitch);
  auto length = std::max<std::int64_t>(1, std::llround(voice.duration * rate));
  auto rise = std::clamp<std::int64_t>(std::llround(2 * rate / pitch), 1, length);
  std::vector<double> wave(static_cast<std::size_t>(length));
  for (std::int64_t n = 0; n < length; ++n) {
    double t = static_cast<double>(n + 1);
    double envelope = n < rise ? Squared(std::sin(std::numbers::pi / 2 * t / rise))
                               : Squared(std::cos(std::numbers::pi / 2 * (t - rise) /
                                                  static_cast<double>(length + 1 - rise)));
    wave[static_cast<std::size_t>(n)] =
        voice.level * envelope * std::cos(2 * std::numbers::pi * pitch * n / rate);
  }
  return wave;
}

std::vector<double> Pulse(const ClickVoice& voice, double rate) {
  auto length = std::clamp<std::int64_t>(std::llround(voice.duration * rate), kShortestPulse,
                                         kLongestClick);
  std::vector<double> wave(static_cast<std::size_t>(length));
  for (std::int64_t n = 0; n < length; ++n) {
    double t = static_cast<double>(n + 1) / static_cast<double>(length + 1);
    wave[static_cast<std::size_t>(n)] = voice.level * Squared(std::sin(std::numbers::pi * t));
  }
  return wave;
}

// Rounded to the sample grid; the first sample never rounds to zero, so the
// click starts exactly on its frame.
std::vector<std::int32_t> Quantize(const std::vector<double>& wave, int bits) {
  double top = static_cast<double>((std::int64_t{1} << (bits - 1)) - 1);
  std::vector<std::int32_t> codes(wave.size());
  for (std::size_t n = 0; n < wave.size(); ++n) {
    codes[n] = static_cast<std::int32_t>(std::lround(wave[n] * top));
  }
  if (!codes.empty() && codes[0] == 0) codes[0] = 1;
  return codes;
}

}  // namespace

ClickSynth::ClickSynth(std::int32_t sampleRate, int bits)
    : scale_(std::int64_t{1} << (32 - bits)),
      fadeLength_(std::max<std::int64_t>(kShortestFade, std::llround(kFadeSeconds * sampleRate))) {
  double rate = sampleRate;
  for (std::size_t kind = 0; kind < kVoices.size(); ++kind) {
    const ClickVoice& voice = kVoices[kind];
    bool tone = sampleRate >= kLowestToneRate && voice.duration * rate <= kLongestClick;
    shapes_[kind] = Quantize(tone ? ToneBurst(voice, rate) : Pulse(voice, rate), bits);
  }
}

void ClickSynth::FindGroup(std::span<const BeatMark> marks) {
  kind_ = MarkKind::kDivision;
  for (next_ = current_; next_ < marks.size() && marks[next_].frame == marks[current_].frame;
       ++next_) {
    kind_ = std::min(kind_, marks[next_].kind);
  }
}

// Moves to the last onset at or before `frame`.
void ClickSynth::Follow(std::span<const BeatMark> marks, std::int64_t frame) {
  if (next_ == current_) FindGroup(marks);
  while (next_ < marks.size() && marks[next_].frame <= frame) {
    current_ = next_;
    FindGroup(marks);
  }
}

void ClickSynth::Render(std::span<const BeatMark> marks, std::int64_t start,
                        std::span<std::int32_t> out) {
  constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
  std::size_t done = 0;
  while (done < out.size()) {
    std::int64_t frame = start + static_cast<std::int64_t>(done);
    Follow(marks, frame);
    bool sounding = current_ < marks.size() && marks[current_].frame <= frame;
    std::int64_t until = !sounding && current_ < marks.size() ? marks[current_].frame
                         : sounding && next_ < marks.size()   ? marks[next_].frame
                                                              : kNever;
    auto count = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(out.size() - done), until - frame));
    auto part = out.subspan(done, count);
    if (sounding) {
      FillClick(marks[current_].frame, until, frame, part);
    } else {
      std::fill(part.begin(), part.end(), 0);
    }
    done += count;
  }
}

// Samples of the click at `onset` from frame `from` on. When the next onset
// comes before the click has ended, the click fades to zero on the sample
// before it: a raised-cosine fade, never a cut.
void ClickSynth::FillClick(std::int64_t onset, std::int64_t nextOnset, std::int64_t from,
                           std::span<std::int32_t> out) const {
  const std::vector<std::int32_t>& shape = Shape(kind_);
  auto length = static_cast<std::int64_t>(shape.size());
  std::int64_t gap = nextOnset - onset;
  bool cut = gap >= 2 && gap <= length;
  std::int64_t fade = cut ? std::min(fadeLength_, gap - 1) : 0;
  std::int64_t fadeStart = gap - 1 - fade;
  for (std::size_t k = 0; k < out.size(); ++k) {
    std::int64_t offset = from - onset + static_cast<std::int64_t>(k);
    std::int64_t code = offset < length ? shape[static_cast<std::size_t>(offset)] : 0;
    if (cut && offset >= fadeStart) {
      double t = static_cast<double>(offset - fadeStart) / static_cast<double>(fade);
      double gain = 0.5 + 0.5 * std::cos(std::numbers::pi * t);
      code = offset >= gap - 1 ? 0 : std::llround(static_cast<double>(code) * gain);
    }
    out[k] = static_cast<std::int32_t>(code * scale_);
  }
}

}  // namespace beatmarks
