#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "app/options.h"
#include "core/beat_walk.h"
#include "core/program_state.h"
#include "exact/rational.h"
#include "files/export_file.h"

namespace beatmarks {

// Makes a timeline of the whole map, with exact times from the offset on.
using TimelinesFrom = std::function<std::unique_ptr<Timeline>(const Rational& offset)>;

// The number the run gives the map's first measure (--first-measure, else 1).
std::int64_t FirstMeasureNumber(const Options& options);

// Walks the map into the chosen text format (every one but wav).
void WriteFormat(const Options& options, const TimelinesFrom& make, const Rational& offset,
                 ProgramState& state, ExportFile& out);

}  // namespace beatmarks
