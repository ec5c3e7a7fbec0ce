// Any command line: the input, split at zero bytes, is the map file's text,
// then the arguments after the map file name.
#include <string>
#include <vector>

#include "app/entry.h"
#include "harness.h"
#include "terminal/input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace beatmarks;
  fuzz::SetUpOnce();
  fuzz::TidyFolder();
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  for (std::size_t begin = 0;;) {
    std::size_t end = text.find('\0', begin);
    parts.push_back(text.substr(begin, end == std::string::npos ? end : end - begin));
    if (end == std::string::npos || parts.size() == 8) break;
    begin = end + 1;
  }
  // MIDI maps have their own target: here a file's end could ask for an
  // export of billions of lines.
  if (parts[0].rfind("MThd", 0) == 0) parts[0][0] = 'm';
  std::FILE* map = std::fopen("map.tmap", "wb");
  std::fwrite(parts[0].data(), 1, parts[0].size(), map);
  std::fclose(map);
  std::vector<std::string> args{"map.tmap"};
  for (std::size_t i = 1; i < parts.size(); ++i) {
    args.push_back(i == 1 ? fuzz::KeepInFolder(parts[i]) : parts[i]);
  }
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  Input nothingTyped(std::string{});
  SetTerminalInput(&nothingTyped);
  static ProgramState s;
  s = ProgramState();
  try {
    RunProgram(static_cast<int>(argv.size()), argv.data(), s);
  } catch (const fuzz::ProgramEnded&) {
  }
  SetTerminalInput(nullptr);
  return 0;
}
