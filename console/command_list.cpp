#include "console/command_list.h"

#include <cinttypes>

#include "terminal/output.h"

namespace beatmarks {

void PrintCommandList(std::int32_t sampleRate, float tempo, std::int32_t beatsPerMeasure,
                      std::int32_t startMeasure, std::int32_t stopMeasure,
                      std::int32_t divisions, const NameBuffer& outFileName) {
  Print("\nInput Settings:\n");
  Print("'r' to change sample rate (%i)\n", sampleRate);
  Print("'t' to change tempo (%.3f)\n", static_cast<double>(tempo));
  Print("'b' to change beats per measure (%i)\n", beatsPerMeasure);
  Print("'m' to read tempo map\n");
  Print("\nOutput Settings:\n");
  // Shown as typed: computed in 64 bits so the largest index shows truly.
  Print("'i' to change start measure (%" PRId64 ")\n", std::int64_t{startMeasure} + 1);
  Print("'o' to change stop measure (%" PRId64 ")\n", std::int64_t{stopMeasure} + 1);
  Print("'d' to change divisions per beat (%i)\n", divisions);
  Print("'p' to print to screen\n");
  Print("'w' to write beatmarks to beginning of file\n");
  Print("'a' to append beatmarks to existing file\n");
  Print("'f' to change output filename: %s\n", outFileName.data());
  Print("\n'l' to toggle this list on/off\n");
  Print("'h' help\n");
  Print("'q' to quit\n");
}

}  // namespace beatmarks
