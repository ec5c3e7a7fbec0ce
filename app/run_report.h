#pragma once

#include <cstdint>
#include <string>

#include "files/export_file.h"

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
// known. Returns status 1.
int CouldNotWrite(const std::string& name, int error, bool why = true);

// With standard error a terminal, a progress line there for a long export
// ("beatmarks: 12.3 MB written"), cleared at the end; else nothing.
ExportFile::ProgressReport ProgressLine();

// "beatmarks: NAME: REASON" on standard error, after the messages so far;
// nothing when the cause is not known (0).
void SayWhy(const std::string& name, int error);

}  // namespace beatmarks
