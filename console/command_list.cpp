#include "console/command_list.h"

#include <cinttypes>
#include <cstdio>

namespace beatmarks {

void PrintCommandList(std::int32_t sampleRate, float tempo, std::int32_t beatsPerMeasure,
                      std::int32_t startMeasure, std::int32_t stopMeasure,
                      std::int32_t divisions, const NameBuffer& outFileName) {
  std::printf("\nInput Settings:\n");
  std::printf("'r' to change sample rate (%i)\n", sampleRate);
  std::printf("'t' to change tempo (%.3f)\n", static_cast<double>(tempo));
  std::printf("'b' to change beats per measure (%i)\n", beatsPerMeasure);
  std::printf("'m' to read tempo map\n");
  std::printf("\nOutput Settings:\n");
  // Shown as typed: computed in 64 bits so the largest index shows truly.
  std::printf("'i' to change start measure (%" PRId64 ")\n", std::int64_t{startMeasure} + 1);
  std::printf("'o' to change stop measure (%" PRId64 ")\n", std::int64_t{stopMeasure} + 1);
  std::printf("'d' to change divisions per beat (%i)\n", divisions);
  std::printf("'p' to print to screen\n");
  std::printf("'w' to write beatmarks to beginning of file\n");
  std::printf("'a' to append beatmarks to existing file\n");
  std::printf("'f' to change output filename: %s\n", outFileName.data());
  std::printf("\n'l' to toggle this list on/off\n");
  std::printf("'h' help\n");
  std::printf("'q' to quit\n");
}

}  // namespace beatmarks
