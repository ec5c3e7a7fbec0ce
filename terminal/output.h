#pragma once

// Where the program's messages, prompts and lists go: standard output, unless
// a test or fuzzer has put another stream in its place, or a run that writes
// its data to standard output has sent the messages to standard error.

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace beatmarks {

std::FILE* TerminalOutput();
void SetTerminalOutput(std::FILE* out);  // nullptr restores standard output

// Each whole line of the messages (without its newline) through `filter`,
// which gives the line to write instead, or nothing to leave it out; an empty
// filter writes the lines as printed.
using MessageFilter = std::function<std::optional<std::string>(std::string_view line)>;
void SetMessageFilter(MessageFilter filter);

void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));
void PrintLine(std::string_view line);  // the line and a newline
void PrintText(std::string_view text);  // exactly the text

// Flushes the messages; a failure is remembered for FinishOutput.
void FlushOutput();

// At the end of the run: flushes standard output and checks that everything
// written to it arrived. A failure other than a closed pipe is reported on
// standard error as "beatmarks: write error: <reason>" and turns the status
// into 1.
int FinishOutput(int status);

}  // namespace beatmarks
