// Any command line read as options: the input, split at zero bytes, is the
// arguments. Only parsing and checking run here; what a run then does is the
// command-line target's and the tests' concern.
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  for (std::size_t begin = 0; parts.size() < 16;) {
    std::size_t end = text.find('\0', begin);
    parts.push_back(text.substr(begin, end == std::string::npos ? end : end - begin));
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  std::vector<const char*> argv;
  for (const std::string& p : parts) argv.push_back(p.c_str());
  beatmarks::Options options;
  std::string error;
  if (beatmarks::ParseOptions(static_cast<int>(argv.size()), argv.data(), options, error)) {
    beatmarks::CheckOptions(options, error);
  }
  return 0;
}
