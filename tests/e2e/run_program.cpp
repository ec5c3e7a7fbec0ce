#include "e2e/run_program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace beatmarks::testing {

void ExecBeatmarks(const std::vector<std::string>& args, const std::string& program) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

const std::string& ProgramForOtherUser() {
  static const TempFolder folder;
  static const std::string path = [] {
    namespace fs = std::filesystem;
    const std::string copy = folder.File("beatmarks");
    struct statvfs volume {};
    std::error_code error;
    if (::statvfs(folder.path().c_str(), &volume) != 0 || (volume.f_flag & ST_NOEXEC) != 0 ||
        !fs::copy_file(BEATMARKS_BINARY, copy, error) || ::chmod(copy.c_str(), 0755) != 0 ||
        ::chmod(folder.path().c_str(), 0755) != 0 || ::mkdir(folder.File("counters").c_str(), 0777) != 0 ||
        ::chmod(folder.File("counters").c_str(), 0777) != 0) {
      return std::string();
    }
    return copy;
  }();
  return path;
}

RunResult RunWith(const RunSetup& setup, const std::string& program) {
  const std::string inPath = setup.folder + "/.stdin";
  const std::string errPath = setup.folder + "/.stderr";
  const std::string outPath = setup.stdoutPath.empty() ? setup.folder + "/.stdout" : setup.stdoutPath;
  WriteFile(inPath, setup.input);
  pid_t child = ::fork();
  if (child == 0) {
    int in = ::open(inPath.c_str(), O_RDONLY);
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(setup.folder.c_str()) != 0) ::_exit(127);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    if (setup.inChild) setup.inChild();
    // A coverage build writes its counters beside the build's own, where
    // another user may not: the copy's go to a folder anyone may write.
    if (program != BEATMARKS_BINARY) {
      ::setenv("GCOV_PREFIX", (program.substr(0, program.rfind('/')) + "/counters").c_str(), 1);
    }
    ExecBeatmarks(setup.args, program);
  }
  int wstatus = 0;
  ::waitpid(child, &wstatus, 0);
  RunResult result;
  if (std::filesystem::is_regular_file(outPath)) result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  for (const std::string& path : {inPath, errPath}) std::filesystem::remove(path);
  if (setup.stdoutPath.empty()) std::filesystem::remove(outPath);
  return result;
}

RunResult RunBeatmarks(const std::vector<std::string>& args, const std::string& input,
                       const std::string& folder) {
  return RunWith({args, input, folder, "", nullptr});
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "beatmarks-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace beatmarks::testing
