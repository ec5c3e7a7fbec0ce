#pragma once

// Runs the built program as a user would: arguments, standard input, a
// working folder; collects standard output and the exit status.

#include <functional>
#include <string>
#include <vector>

namespace beatmarks::testing {

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when the program did not exit normally
  int signal = 0;   // the signal that ended it, if one did
};

// A run set up the way a user's shell or system would set it up.
struct RunSetup {
  std::vector<std::string> args;
  std::string input;
  std::string folder;
  std::string stdoutPath;  // standard output redirected here, as '>' does; default: captured
  std::function<void()> inChild;  // after the redirections, before the program starts
};

RunResult RunWith(const RunSetup& setup, const std::string& program = BEATMARKS_BINARY);

// In a child process: replaces it with the program run on these arguments.
[[noreturn]] void ExecBeatmarks(const std::vector<std::string>& args,
                                const std::string& program = BEATMARKS_BINARY);

// A copy of the built program that any user may run, for runs as another
// user: the build folder may lie where only its owner can enter (a checkout
// in /root). Made once per test process in a folder of its own under the
// temporary folder, removed at exit; empty when no such copy can be made
// (then skip the test). Pass it to RunWith or ExecBeatmarks, with a child
// step that changes the user.
const std::string& ProgramForOtherUser();

RunResult RunBeatmarks(const std::vector<std::string>& args, const std::string& input,
                       const std::string& folder);

// A fresh folder removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

}  // namespace beatmarks::testing
