// Any file read as a tempo map, then the list made from it.
#include <cstdio>
#include <string>

#include "classic/display.h"
#include "classic/read_map.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace beatmarks;
  fuzz::SetUpOnce();
  std::FILE* file = std::fopen("map.tmap", "wb");
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  static ProgramState s;
  s = ProgramState();
  std::snprintf(s.mapFileName.data(), s.mapFileName.size(), "map.tmap");
  ReadMap(s.sectionCount, s.totalMeasures, s.totalBeats, s.tempo, s.measures, s.beatsPerMeasure,
          s.mapFileName, s.sampleRate, s.divisions, true, s.startMeasure, s.stopMeasure);
  ApplyStopDefault(s.stopMeasure, s.totalMeasures);
  bool cut = false;
  Display(s.sectionCount, s.tempo, s.measures, s.beatsPerMeasure, s.sampleRate, s.startMeasure,
          s.stopMeasure, s.divisions, s.outText, cut);
  return 0;
}
