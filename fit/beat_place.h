#pragma once

#include <cstdint>

namespace beatmarks {

// A beat's place: its measure (an index from 0 in a list, the number as
// written in a position) and its beat from 0 (from 1 as written).
struct BeatPlace {
  std::int64_t measure = 0;
  std::int32_t beat = 0;
};

}  // namespace beatmarks
