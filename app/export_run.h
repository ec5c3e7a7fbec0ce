#pragma once

#include <string>
#include <vector>

#include "app/format_run.h"
#include "app/options.h"
#include "core/map_file.h"
#include "core/program_state.h"

namespace beatmarks {

// RATE, START, STOP and DIVISIONS as the command line has always read them
// (the sixth counts only when it is the last), over what the map file set.
void ApplyPositionalSettings(const std::vector<std::string>& positional, ProgramState& state);

// The positional settings, then the named ones over them; START and STOP
// count from the number the run gives the first measure.
void ApplyRunSettings(const Options& options, ProgramState& state);

// The classic list of the state, appended to OUTPUT or written to standard
// output ("-"); with `withReason`, a failed write also says why on standard
// error. Returns the exit status.
int ClassicList(const std::string& output, ProgramState& state, bool withReason);

// Writes the map the timelines give in the chosen format (every one with
// exact times) to OUTPUT. Returns the exit status.
int ExactExport(const Options& options, const std::string& output, const TimelinesFrom& make,
                ProgramState& state);

// A run given options (or '-' as OUTPUT, or a MIDI map): reads the map
// (unless `loaded` holds it already), applies the positional and then the
// named settings, and writes the chosen format. Returns the exit status.
int RunWithOptions(const Options& options, const LoadedMap* loaded, ProgramState& state);

}  // namespace beatmarks
