// A map file saved anew while the program reads it: one run must use one
// version of it, whatever the other turns out to be. A preloaded library
// swaps the file for another right after the program first opens it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

struct Whole {
  RunResult run;
  std::string written;  // OUTPUT, when it is a file
};

bool operator==(const Whole& a, const Whole& b) {
  return a.run.out == b.run.out && a.run.err == b.run.err && a.run.status == b.run.status &&
         a.run.signal == b.run.signal && a.written == b.written;
}

std::ostream& operator<<(std::ostream& os, const Whole& w) {
  return os << "status " << w.run.status << " signal " << w.run.signal << "\nout:\n"
            << w.run.out << "\nerr:\n" << w.run.err << "\nwritten:\n" << w.written;
}

// In the child: the swapping library preloaded. A sanitized program would
// otherwise insist on its own runtime coming first.
void PreloadSwap(const std::string& path, const std::string& with) {
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string options =
      (asan != nullptr ? std::string(asan) + ":" : "") + "verify_asan_link_order=0";
  ::setenv("ASAN_OPTIONS", options.c_str(), 1);
  ::setenv("LD_PRELOAD", BEATMARKS_SWAP_SHIM, 1);
  ::setenv("SWAP_PATH", path.c_str(), 1);
  ::setenv("SWAP_WITH", with.c_str(), 1);
}

// The program on "map" in the folder; with `swapWith`, that file replaces
// "map" as soon as the program has opened it.
Whole RunOn(const TempFolder& folder, const std::vector<std::string>& args,
            const std::string& swapWith = "") {
  std::remove(folder.File("out.txt").c_str());
  const std::string map = folder.File("map"), other = folder.File(swapWith);
  std::function<void()> swap;
  if (!swapWith.empty()) swap = [&] { PreloadSwap(map, other); };
  Whole whole;
  whole.run = RunWith({args, "", folder.path(), "", swap});
  whole.written = ReadFile(folder.File("out.txt"));
  return whole;
}

TEST(MapReadOnce, AFileSwappedAfterTheFirstOpenIsNotSeen) {
  const std::string midi = ReadFile(BEATMARKS_EXAMPLES "/ramp-and-6-8.mid");
  const std::string text = ReadFile(BEATMARKS_EXAMPLES "/waltz.tmap");
  ASSERT_FALSE(midi.empty() || text.empty());
  const std::vector<std::vector<std::string>> runs = {{"map", "out.txt"},
                                                      {"-f", "csv", "map", "-"}};
  struct Case {
    const char* what;
    std::string first, second;
  };
  const Case cases[] = {{"MIDI, then a text map", midi, text},
                        {"a text map, then MIDI", text, midi}};
  for (const auto& args : runs) {
    for (const Case& c : cases) {
      std::string command = "beatmarks";
      for (const std::string& a : args) command += " " + a;
      SCOPED_TRACE(command + ": " + c.what);
      TempFolder folder;
      WriteFile(folder.File("map"), c.second);
      const Whole ofSecond = RunOn(folder, args);
      WriteFile(folder.File("map"), c.first);
      const Whole ofFirst = RunOn(folder, args);
      ASSERT_FALSE(ofFirst == ofSecond);  // else the swap could not show

      WriteFile(folder.File("new"), c.second);
      const Whole swapped = RunOn(folder, args, "new");
      // The shim did swap: the name now leads to the other file.
      EXPECT_EQ(ReadFile(folder.File("map")), c.second);
      EXPECT_FALSE(FileExists(folder.File("new")));
      EXPECT_EQ(swapped, ofFirst);
    }
  }
}

}  // namespace
}  // namespace beatmarks::testing
