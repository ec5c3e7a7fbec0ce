#include "audio/beat_marks.h"

namespace beatmarks {

std::string CheckMarkOrder(std::span<const BeatMark> marks) {
  std::int64_t previous = 0;
  for (const BeatMark& mark : marks) {
    if (mark.frame < previous) return "Error: Beat positions must be in order and not negative!";
    previous = mark.frame;
  }
  return {};
}

AudioOutcome AudioFailure(std::string line) {
  AudioOutcome outcome;
  outcome.error = std::move(line);
  return outcome;
}

AudioOutcome WriteFailure(const std::string& name, int error) {
  AudioOutcome outcome = AudioFailure("Error: Could not write file " + name + "!");
  outcome.writeError = error;
  return outcome;
}

}  // namespace beatmarks
