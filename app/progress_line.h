#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "files/export_file.h"

namespace beatmarks {

// Milliseconds from any fixed point; the progress line's only sense of time.
using MillisecondClock = std::function<std::int64_t()>;

// How often the progress line is redrawn: 250 ms, or the whole number of
// milliseconds BEATMARKS_PROGRESS_MS holds (0 redraws at every flush, which
// is how the tests see the line without waiting for a slow export).
std::int64_t ProgressInterval(const char* setting);

// "\rbeatmarks: 12.3 MB written" on `out`, redrawn when `everyMs` have passed
// on `clock` since the start or the last redraw, and cleared at the end when
// it was shown.
ExportFile::ProgressReport ProgressOn(std::FILE* out, std::int64_t everyMs, MillisecondClock clock);

// With standard error a terminal, the progress line there on the steady
// clock at ProgressInterval's pace; else nothing.
ExportFile::ProgressReport ProgressLine();

}  // namespace beatmarks
