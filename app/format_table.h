#pragma once

// The output formats, one row each, as the options check, --help and the run
// read them. A text format is a function that writes the plan into an
// export; an output with needs of its own (audio seeks in its file, the MIDI
// file is planned before it is opened) has a run of its own.

#include <span>
#include <string>
#include <string_view>

#include "app/output_request.h"
#include "core/walk_plan.h"
#include "files/export_file.h"

namespace beatmarks {

enum class FormatNeeds {
  kText,          // streamed text (standard output too)
  kSeekableFile,  // a file it can seek in: not '-'
};

struct FormatRow {
  const char* name;
  const char* help;     // its lines under "Formats:" in --help, without the name
  int listed;           // its place where the names are listed in a line
  FormatNeeds needs;
  bool locates;         // takes --locate=TIMES
  WriteMode mode;       // how a text format's OUTPUT is written
  void (*write)(const WalkPlan& plan, ExportFile& out);  // a text format
  int (*run)(const OutputRequest& request);              // else its own run
};

// Every format, in the order --help describes them.
std::span<const FormatRow> Formats();

// The row of a name; nullptr for none.
const FormatRow* FindFormat(std::string_view name);

// "list, labels, ..., summary or midi": the names in a line, the first
// marked "(default)" when asked.
std::string FormatNames(bool markDefault);

// The list of formats for --help, each name followed by its lines.
std::string FormatHelp();

}  // namespace beatmarks
