#include "midi/midi_beats.h"

#include <gtest/gtest.h>

namespace beatmarks {
namespace {

// The largest divisor of the ticks not above the bound, against every divisor.
TEST(MidiBeats, PieceIsTheLargestDivisorWithinTheBound) {
  for (std::uint32_t ticks : {1u, 2u, 7u, 12u, 960u, 1440u, 3840u}) {
    for (std::uint64_t most = 0; most <= ticks + 1; ++most) {
      std::uint32_t want = 1;
      for (std::uint32_t d = 1; d <= ticks; ++d) {
        if (ticks % d == 0 && d <= most) want = d;
      }
      ASSERT_EQ(PieceOf(ticks, most), want) << ticks << " ticks, at most " << most;
    }
  }
}

}  // namespace
}  // namespace beatmarks
