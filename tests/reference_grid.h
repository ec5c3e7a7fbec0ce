#pragma once

// The expected list of the default single section (120 beats per minute,
// 4 beats per measure, 44100 samples per second, one division a beat) from
// measure 1 on, built from first principles: every beat lies 0.5 s after the
// last, a sum that doubles hold exactly.

#include <cstddef>
#include <string>

namespace beatmarks::testing {

inline std::string DefaultGrid(int measures) {
  std::string text = "\nSample Rate\t44100\n\nSection 1\tTempo 120.000\tBeats/Meas 4\tMeasures " +
                     std::to_string(measures) + "\n\n";
  char line[96];
  for (int m = 0; m < measures; ++m) {
    if (m > 0) text += "\n";
    for (int b = 0; b < 4; ++b) {
      int beat = m * 4 + b;
      std::snprintf(line, sizeof line, "%s\tB %d\t%d.%s sec\t%d smp\n",
                    b == 0 ? ("M " + std::to_string(m + 1)).c_str() : "", b + 1, beat / 2,
                    beat % 2 ? "500" : "000", beat * 22050);
      text += line;
    }
  }
  return text;
}

// The text as a list cut at the size limit shows it: whole lines only, at
// most 65535 characters (exact for a text with its only header at the start).
inline std::string CutToLimit(const std::string& text) {
  if (text.size() <= 65535) return text;
  std::size_t end = text.rfind('\n', 65534);
  return text.substr(0, end + 1);
}

}  // namespace beatmarks::testing
