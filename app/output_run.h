#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "files/export_file.h"

namespace beatmarks {

// Writes text into OUTPUT, the one way every output of a run is written:
// the messages so far are flushed first, the output opened (replaced or
// appended), `write` fills it (false, with a one-line `error`,
// drops it unfinished: nothing replaced), it is made final, and `report` says what
// was saved ("Saved N bytes" unless given). Returns the exit status.
using TextWriter = std::function<bool(ExportFile& out, std::string& error)>;
using SavedReport = std::function<int(std::uint64_t bytes)>;
int WriteOutput(const std::string& output, WriteMode mode, const TextWriter& write,
                const SavedReport& report = {});

}  // namespace beatmarks
