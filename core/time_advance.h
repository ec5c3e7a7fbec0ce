#pragma once

#include <cstdint>

namespace beatmarks {

// Division counts can pass 64 bits: measures x beats x divisions.
using DivisionCount = unsigned __int128;

// The running time after `count` more additions of `step`, bit for bit what
// the additions one by one give, in time that does not grow with the count.
// t must be finite and not negative, step finite and positive.
double AdvanceTime(double t, double step, DivisionCount count);

}  // namespace beatmarks
