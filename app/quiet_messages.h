#pragma once

// --quiet: a run with options says its errors and nothing else.

#include <string_view>

namespace beatmarks {

// Whether a message line tells of a failure: an error, or a list cut short (which ends the run with status 1).
bool IsErrorMessage(std::string_view line);

// From here on, only the lines that tell of a failure are printed. (Lines
// written straight to standard error, "beatmarks: ...", are all errors.)
void UseQuietMessages();

}  // namespace beatmarks
