// Click onsets against the given frames, block by block, at every sample
// grid; the clicks' loudness, pitch, spectrum and fades.
#include "audio/click_synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace beatmarks {
namespace {

constexpr MarkKind kKinds[] = {MarkKind::kDownbeat, MarkKind::kBeat, MarkKind::kDivision};

// Marks at random gaps: shared frames, neighbours, cut clicks and silences.
std::vector<BeatMark> RandomMarks(std::mt19937& random, std::int64_t longest, int count) {
  std::vector<BeatMark> marks;
  std::int64_t frame = std::uniform_int_distribution<std::int64_t>(0, 5)(random);
  for (int i = 0; i < count; ++i) {
    int pick = std::uniform_int_distribution<int>(0, 9)(random);
    frame += pick <= 3 ? pick : std::uniform_int_distribution<std::int64_t>(4, longest)(random);
    marks.push_back({frame, 1, 1, kKinds[random() % 3]});
  }
  return marks;
}

// The whole track in blocks of random sizes.
std::vector<std::int32_t> RenderInBlocks(ClickSynth synth, const std::vector<BeatMark>& marks,
                                         std::int64_t length, std::mt19937& random) {
  std::vector<std::int32_t> out(static_cast<std::size_t>(length));
  for (std::size_t at = 0; at < out.size();) {
    std::size_t count = std::min<std::size_t>(out.size() - at, 1 + random() % 700);
    synth.Render(marks, static_cast<std::int64_t>(at), std::span(out).subspan(at, count));
    at += count;
  }
  return out;
}

std::int64_t MaxStep(std::span<const std::int32_t> samples) {
  std::int64_t step = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    step = std::max<std::int64_t>(step, std::llabs(std::int64_t{samples[i]} - samples[i - 1]));
  }
  return step;
}

TEST(ClickSynth, EveryClickStartsOnItsFrameAndFadesBeforeTheNext) {
  std::mt19937 random(7);
  for (std::int32_t rate : {1, 100, 3999, 4000, 8000, 44100, 48000, 192000, INT32_MAX}) {
    for (int bits : {8, 16, 24, 32}) {
      SCOPED_TRACE(::testing::Message() << rate << " Hz, " << bits << " bits");
      ClickSynth synth(rate, bits);
      auto longest = static_cast<std::int64_t>(synth.Shape(MarkKind::kBeat).size()) * 3 / 2;
      auto marks = RandomMarks(random, longest, 60);
      std::int64_t length = marks.back().frame + longest;
      auto blocks = RenderInBlocks(synth, marks, length, random);
      std::vector<std::int32_t> whole(blocks.size());
      ClickSynth(synth).Render(marks, 0, whole);
      ASSERT_EQ(blocks, whole);

      const std::int64_t step = std::int64_t{1} << (32 - bits);
      const std::int64_t top = ((std::int64_t{1} << (bits - 1)) - 1) * step;
      for (std::int32_t sample : whole) {
        ASSERT_EQ(sample % step, 0);
        ASSERT_LE(std::llabs(sample), top);
      }
      for (std::int64_t f = 0; f < marks.front().frame; ++f) ASSERT_EQ(whole[f], 0);
      for (std::size_t i = 0; i < marks.size(); ++i) {
        ASSERT_NE(whole[marks[i].frame], 0) << "onset " << marks[i].frame;
        std::int64_t next = i + 1 < marks.size() ? marks[i + 1].frame : length;
        if (next - marks[i].frame >= 2) {
          ASSERT_EQ(whole[next - 1], 0) << "before " << next;
        }
      }
    }
  }
}

TEST(ClickSynth, CutClicksFadeNoSteeperThanWholeClicks) {
  std::mt19937 random(11);
  for (std::int32_t rate : {4000, 8000, 44100, 96000}) {
    SCOPED_TRACE(rate);
    ClickSynth synth(rate, 24);
    std::int64_t steepest = 0;
    for (MarkKind kind : kKinds) steepest = std::max(steepest, MaxStep(synth.Shape(kind)));
    auto longest = static_cast<std::int64_t>(synth.Shape(MarkKind::kBeat).size());
    auto marks = RandomMarks(random, longest, 400);
    auto track = RenderInBlocks(synth, marks, marks.back().frame + longest, random);
    EXPECT_LE(MaxStep(track), (steepest * 5 / 4 + 2) << 8);
  }
}

// Share of the energy from `from` (a fraction of the sample rate) up to the
// Nyquist frequency, from a zero-padded discrete Fourier transform.
double EnergyAbove(const std::vector<std::int32_t>& shape, double from) {
  std::size_t size = 1024;
  while (size < shape.size() * 4) size *= 2;
  double total = 0, above = 0;
  for (std::size_t k = 0; k <= size / 2; ++k) {
    double re = 0, im = 0;
    for (std::size_t n = 0; n < shape.size(); ++n) {
      double angle = 2 * std::numbers::pi * static_cast<double>(k * n % size) / size;
      re += shape[n] * std::cos(angle);
      im -= shape[n] * std::sin(angle);
    }
    total += re * re + im * im;
    if (static_cast<double>(k) / size >= from) above += re * re + im * im;
  }
  return above / total;
}

TEST(ClickSynth, ClicksStayFarBelowNyquistAtEveryRate) {
  for (std::int32_t rate : {1, 50, 1000, 3999, 4000, 8000, 22050, 48000}) {
    ClickSynth synth(rate, 24);
    for (MarkKind kind : kKinds) {
      SCOPED_TRACE(::testing::Message() << rate << " Hz, kind " << static_cast<int>(kind));
      EXPECT_LT(EnergyAbove(synth.Shape(kind), 0.25), 1e-3);
      EXPECT_LT(EnergyAbove(synth.Shape(kind), 0.375), 1e-4);
    }
  }
}

int SignChanges(const std::vector<std::int32_t>& shape) {
  int changes = 0;
  for (std::size_t i = 1; i < shape.size(); ++i) changes += (shape[i] < 0) != (shape[i - 1] < 0);
  return changes;
}

std::int32_t Peak(const std::vector<std::int32_t>& shape) {
  std::int32_t peak = 0;
  for (std::int32_t sample : shape) peak = std::max(peak, std::abs(sample));
  return peak;
}

TEST(ClickSynth, AccentIsHigherAndLouderTickIsQuietest) {
  ClickSynth synth(48000, 24);
  const auto& accent = synth.Shape(MarkKind::kDownbeat);
  const auto& beat = synth.Shape(MarkKind::kBeat);
  const auto& tick = synth.Shape(MarkKind::kDivision);
  EXPECT_GT(Peak(accent), Peak(beat));
  EXPECT_GT(Peak(beat), 2 * Peak(tick));
  EXPECT_GT(SignChanges(accent) * beat.size(), SignChanges(beat) * accent.size() * 3 / 2);
}

TEST(ClickSynth, SharedFrameSoundsTheStrongestMark) {
  ClickSynth synth(48000, 16);
  std::vector<BeatMark> marks{{10, 1, 2, MarkKind::kDivision}, {10, 2, 1, MarkKind::kDownbeat},
                              {10, 2, 1, MarkKind::kBeat}};
  std::vector<std::int32_t> out(200);
  synth.Render(marks, 0, out);
  for (std::size_t i = 0; i < 190; ++i) {
    ASSERT_EQ(out[10 + i], synth.Shape(MarkKind::kDownbeat)[i] * 65536) << i;
  }
}

}  // namespace
}  // namespace beatmarks
