#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fit/beat_list.h"

namespace beatmarks {

// The beats whose interval (to the next beat) is more than 30% off both
// the interval before and the one after: most likely a tap missed or one too
// many. They are fitted as given; this only says where to look. One line
// each for the first `most`, as "beat 12.3 at 25.500000 s: ...", then one
// that counts the rest; measures numbered from `firstNumber`.
std::vector<std::string> DoubtfulBeats(const BeatList& beats, std::int64_t firstNumber,
                                       std::size_t most);

// Fitted by measure: the measures with a beat more than 30% of the spacing
// off its even place (a fermata), whose beats stay where they were played;
// each named by its longest beat. Lines as DoubtfulBeats gives them.
std::vector<std::string> HeldBeats(const BeatList& beats, std::int64_t firstNumber, std::size_t most);

}  // namespace beatmarks
