#pragma once

// Shared set-up of the in-process fuzz targets: a private working folder,
// output to /dev/null, and an ending of the program that returns to the
// harness instead of leaving the process.

#include <cstddef>
#include <cstdint>
#include <string>

namespace beatmarks::fuzz {

struct ProgramEnded {
  int status;
};

// Once per process: a fresh folder as the working folder (so the fuzzer must
// be given absolute paths), quiet output, and
// EndProgram throwing ProgramEnded.
void SetUpOnce();

// File names typed by the fuzzer stay inside the working folder.
std::string KeepInFolder(std::string text);

// Empties the working folder now and then so files written by the inputs do
// not pile up.
void TidyFolder();

}  // namespace beatmarks::fuzz
