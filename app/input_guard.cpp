#include "app/input_guard.h"

#include <sys/stat.h>

#include <utility>
#include <vector>

#include "core/map_file.h"
#include "midi/midi_file.h"
#include "tmap/text_map.h"

namespace beatmarks {
namespace {

bool SameFile(const struct stat& a, const std::string& name) {
  struct stat b;
  return name != "-" && ::stat(name.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Every input of the run by name, with the role a user knows it by.
std::vector<std::pair<std::string, const char*>> Inputs(const Options& o) {
  std::vector<std::pair<std::string, const char*>> inputs;
  if (!o.positional.empty()) inputs.emplace_back(o.positional[0], o.fit ? "beat list" : "map");
  if (o.locate) inputs.emplace_back(*o.locate, "times file");
  if (o.snap) inputs.emplace_back(*o.snap, "recording");
  if (o.into) inputs.emplace_back(*o.into, "recording");
  return inputs;
}

}  // namespace

std::optional<std::string> InputAtOutput(const Options& o) {
  if (o.positional.size() < 2 || o.positional[1] == "-") return std::nullopt;
  struct stat output;
  if (::stat(o.positional[1].c_str(), &output) != 0 || !S_ISREG(output.st_mode)) return std::nullopt;
  for (const auto& [name, role] : Inputs(o)) {
    if (SameFile(output, name)) return role;
  }
  return std::nullopt;
}

bool HoldsTempoMap(const std::string& name) {
  const LoadedMap map = LoadMap(name.c_str());
  return map.status == MapFileStatus::kLoaded && (IsMidiFile(map.bytes) || HasSectionLine(map.bytes));
}

}  // namespace beatmarks
