#pragma once

#include <cstdint>
#include <string>

namespace beatmarks {

// "beatmarks: MESSAGE" and a pointer to --help on standard error; returns
// status 2.
int UsageError(const std::string& message);

// "Saved N bytes"; returns status 0.
int Saved(std::uint64_t bytes);

// An output that could not be written, as the user is told: standard output
// ("-") as "beatmarks: write error: REASON" on standard error; a file as
// "Error: Could not write file NAME!", followed on standard error by
// "beatmarks: NAME: REASON" when `why` is set and the cause (an errno) is
// known; in a run with options, one line "beatmarks: NAME: REASON".
// Returns status 1.
int CouldNotWrite(const std::string& name, int error, bool why = true);

// "beatmarks: NAME: REASON" on standard error, after the messages so far;
// nothing when the cause is not known (0).
void SayWhy(const std::string& name, int error);

}  // namespace beatmarks
