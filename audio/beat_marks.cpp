#include "audio/beat_marks.h"

namespace beatmarks {

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
