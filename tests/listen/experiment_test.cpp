#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <cstdlib>

#include "e2e/run_program.h"
#include "listen/attacks.h"
#include "listen/performance.h"

namespace beatmarks {
namespace {
using namespace testing;

void Measure(const char* name, HitKind kind, Backdrop backdrop) {
  const std::uint32_t rate = 48000;
  auto beats = DriftingBeats(rate / 2, 60, 100, 0.05, rate);
  auto hits = HitsOn(beats, {kind});
  auto mono = Render(hits, beats.back() + rate, rate, backdrop, 7);
  TempFolder dir;
  std::string error;
  ASSERT_TRUE(WriteRecording(dir.File("p.wav"), mono, 1, rate, SF_FORMAT_WAV | SF_FORMAT_PCM_24, error));
  AttackList list;
  ASSERT_TRUE(ListAttacks(dir.File("p.wav"), 0, 1e9, list, error)) << error;
  double worst = 0, sum = 0;
  int over = 0;
  std::size_t j = 0;
  for (auto b : beats) {
    // nearest strong attack
    double best = 1e9;
    for (auto& a : list.attacks) {
      double e = (a.sample - b) * 1000.0 / rate;
      if (std::abs(e) < std::abs(best) && a.strengthDb > 6) best = e;
    }
    worst = std::max(worst, std::abs(best));
    sum += best;
    over += std::abs(best) > 1;
    (void)j;
  }
  int strong = 0;
  for (auto& a : list.attacks) strong += a.strengthDb > 6;
  std::printf("%-24s attacks %3zu (>6dB %3d) beats %zu  mean err %+.3f ms worst %.3f ms over1ms %d\n", name,
              list.attacks.size(), strong, beats.size(), sum / beats.size(), worst, over);
}

TEST(ListenExperiment, Accuracy) {
  const HitKind kinds[] = {HitKind::kNoiseBurst, HitKind::kPluck, HitKind::kKick, HitKind::kSoftTone};
  const char* names[] = {"noise", "pluck", "kick", "soft"};
  for (int k = 0; k < 4; ++k) {
    Measure(names[k], kinds[k], {});
    Measure((std::string(names[k]) + "+bass").c_str(), kinds[k], {-40, 0.2, -24});
    Measure((std::string(names[k]) + "+loudbass").c_str(), kinds[k], {-40, 0.5, -24});
    Measure((std::string(names[k]) + "+reverb-10").c_str(), kinds[k], {-40, 0.0, -10});
  }
}

}  // namespace
}  // namespace beatmarks
