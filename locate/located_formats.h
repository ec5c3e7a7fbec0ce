#pragma once

// The times of TIMES placed on the grid, one row a time in the order given,
// streamed to an export. A position is "M.B", or "M.B.D" with more than one
// division per beat, as the program labels divisions; the deviation is the
// time less its nearest division's (negative: early), rounded once.
// - csv: RFC 4180 with CRLF, header
//     time,where,measure,beat,into_beat,nearest,deviation,deviation_frames,name
//   the time as TIMES wrote it; where it falls: "in" the map, "before" its
//   first division or "after" its end (then the columns up to the name stay
//   empty); the beat it falls in and how far into it (6 decimals, truncated:
//   never 1); the nearest division; the deviation in seconds with 9
//   decimals and in samples; and the name TIMES gave.
// - labels: a point label at each time, as audio editors import label
//   tracks, to lie beside the original: "time<TAB>time<TAB>M.B.D +0.012345 s"
//   (6 decimals; no sign when it rounds to zero), or "before" / "after".
// - json: {"sampleRate":R,"divisions":D,"offset":O,"times":[{"time",
//   "where","measure","beat","intoBeat","nearest","deviation",
//   "deviationSamples","name"}...]}, the same values as the CSV, the time as
//   written made a JSON number, "name" only where TIMES gave one.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exact/rational.h"
#include "files/export_file.h"
#include "locate/grid_index.h"
#include "locate/times_reader.h"

namespace beatmarks {

enum class LocatedFormat { kCsv, kLabels, kJson };

struct LocateSettings {
  std::uint32_t rate = 44100;          // samples a second
  Rational offset;                     // where measure 1 begins, for the JSON header
  std::int64_t firstMeasureNumber = 1; // the number the map's first measure is shown with
  // When each section begins and its name, in order; with sections, CSV
  // rows end with a "section" column and JSON times inside the map name it.
  std::vector<std::pair<Rational, std::string>> sections = {};
};

// Reads TIMES through once to check it, then places every time and writes
// its row. On a problem with TIMES nothing is written, and `error` is one line.
bool WriteLocated(LocatedFormat format, std::string_view times, const GridIndex& grid,
                  const LocateSettings& settings, ExportFile& out, std::string& error);
// Places the times as they are read and writes their rows; false with the
// reader's error at a problem (the rows so far are in `out`, to be dropped),
// so TIMES is best checked through first.
bool WriteLocated(LocatedFormat format, TimesReader& times, const GridIndex& grid, const LocateSettings& settings,
                  ExportFile& out, std::string& error);

}  // namespace beatmarks
