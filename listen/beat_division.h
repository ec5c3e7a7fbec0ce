#pragma once

// How the beats heard are divided: in three (a compound meter's dotted
// quarter, its eighths at a third and two thirds of each beat) or not, and
// whether their halves sound as beats do.

#include <cstdint>
#include <vector>

#include "listen/attacks.h"

namespace beatmarks {

// Whether the attacks between the beats fall at thirds of them far more
// often than at halves or quarters, on at least half of the beats.
bool DividedInThree(const std::vector<Attack>& attacks, const std::vector<std::int64_t>& beats);


// Whether attacks halfway between the beats, on most of them, rise nearly
// as much as the beats' own: then the beat may as well be twice as fast.
bool HalvesLikeBeats(const std::vector<Attack>& attacks, const std::vector<std::int64_t>& beats);

// How much softer every other beat is than the rest: the difference of the
// median levels of the beats at even and at odd places, in dB (beats with
// no attack on their sample left out).
double AlternationDb(const std::vector<Attack>& attacks, const std::vector<std::int64_t>& beats);

}  // namespace beatmarks
