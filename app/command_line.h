#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/options.h"
#include "exact/rational.h"

namespace beatmarks {

// Reads the arguments (without the program's name). On a usage error returns
// false with the message (without the "beatmarks: " prefix) in `error`.
bool ParseOptions(int count, const char* const* arguments, Options& options, std::string& error);

// Checks the options against each other and the positional arguments.
bool CheckOptions(const Options& options, std::string& error);

// "measure N is before the first measure, F" for a START or STOP before the
// run's first measure, `first`; empty when none is.
std::string MeasureBeforeFirst(const Options& options, std::int64_t first);

// --offset in seconds: a decimal of 0 or more, or with --timecode a
// timecode, the start of its frame; nothing for another text.
std::optional<Rational> OffsetSeconds(const Options& options);

// The --help text.
const char* UsageText();

// The name and version, and whether this build reads and writes audio.
std::string VersionText();

}  // namespace beatmarks
