#include "core/beat_marks.h"

namespace beatmarks {

std::string CheckMarkOrder(std::span<const BeatMark> marks) {
  std::int64_t previous = 0;
  for (const BeatMark& mark : marks) {
    if (mark.frame < previous) return "Error: Beat positions must be in order and not negative!";
    previous = mark.frame;
  }
  return {};
}

}  // namespace beatmarks
