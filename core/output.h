#pragma once

// Where the program's messages, prompts and lists go: standard output, unless
// a test or fuzzer has put another stream in its place.

#include <cstdio>
#include <string_view>

namespace beatmarks {

std::FILE* TerminalOutput();
void SetTerminalOutput(std::FILE* out);  // nullptr restores standard output

void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));
void PrintLine(std::string_view line);  // the line and a newline
void PrintText(std::string_view text);  // exactly the text

}  // namespace beatmarks
