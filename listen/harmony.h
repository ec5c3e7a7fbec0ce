#pragma once

// The harmony at each beat of a recording: how much of each of the twelve
// pitch classes sounds over the beat (five octaves from C2, 65 Hz, to B6),
// and how much it changes between half measures of four. Where a piece's
// chords change every two beats as much as every four, it moves in two.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace beatmarks {

using Chroma = std::array<float, 12>;  // unit length, or all zero in silence

// One chroma a beat of `samples` (frames of the recording at `path`, in
// order), each over the beat up to the next (at most 0.4 s); of a long
// recording, only runs of beats spread over it, the rest left all zero.
// False with one line in `error` where the file cannot be read.
bool BeatChromas(const std::string& path, const std::vector<std::int64_t>& samples, std::vector<Chroma>& chromas,
                 std::string& error);

// The mean change of harmony (1 - cosine, 0 to 1) from one pair of beats to
// the next, where the new pair starts on beat 1 of a measure of four (the
// first value) and on beat 3 (the second); beat 1 falls on the beats whose
// index is `downbeat` modulo 4. Pairs all zero (silence, or not heard) are
// left out.
std::array<double, 2> HalfMeasureChanges(const std::vector<Chroma>& chromas, std::int32_t downbeat);

// A meter of four as the low accents hear it, beat 1 on the beats whose
// index is `downbeat` modulo 4, weighed against the harmony's half-measure
// changes: where the harmony changes clearly on beat 3 as much as on beat 1
// (within a factor of two), the piece moves in two (meter 2, its downbeat
// of the same parity); where it changes clearly on beat 3 and not on beat
// 1, beat 1 is two beats on. `clear`: the chords change plainly on the
// beat 1 given back (four) or on every other beat (two).
struct MeterGuess {
  std::int32_t meter = 4;
  std::int32_t downbeat = 0;
  bool clear = false;
};
MeterGuess TwoOrFour(const std::array<double, 2>& changes, std::int32_t downbeat);

}  // namespace beatmarks
