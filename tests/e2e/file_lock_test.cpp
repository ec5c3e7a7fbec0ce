// What the lock on an output file is for, shown with another process that
// holds it: appends and replacements wait for it, and an append that waited
// while the file was replaced goes into the new file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "e2e/run_program.h"
#include "files/file_replacer.h"
#include "reference_grid.h"

namespace beatmarks::testing {
namespace {

const char kNoSections[] = "no sections here\n";

// Starts the program on the arguments and input; it runs while the test
// goes on.
pid_t Start(const TempFolder& folder, std::vector<std::string> args, const std::string& input) {
  WriteFile(folder.File(".in"), input);
  pid_t child = ::fork();
  if (child == 0) {
    int in = ::open(folder.File(".in").c_str(), O_RDONLY);
    int quiet = ::open("/dev/null", O_WRONLY);
    if (in < 0 || quiet < 0 || ::chdir(folder.path().c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(quiet, 1);
    ExecBeatmarks(args);
  }
  return child;
}

int Wait(pid_t child) {
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int LockFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);  // the programs must not inherit it
  EXPECT_EQ(::flock(fd, LOCK_EX), 0);
  return fd;
}

// While another process appends and then cuts its failed append back, a
// second append must wait: without the lock its list would be cut away.
TEST(FileLock, AppendWaitsForAnotherAppendsCutBack) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), kNoSections);
  WriteFile(folder.File("out.txt"), "old\n");
  int held = LockFile(folder.File("out.txt"));
  ::lseek(held, 0, SEEK_END);
  ASSERT_EQ(::write(held, "half a list", 11), 11);  // a failing append, part-way
  pid_t appender = Start(folder, {"map.tmap", "out.txt"}, "");
  ::usleep(200000);
  ASSERT_EQ(::ftruncate(held, 4), 0);  // cut back to the old length
  ::close(held);
  EXPECT_EQ(Wait(appender), 0);
  EXPECT_EQ(ReadFile(folder.File("out.txt")), "old\n" + DefaultGrid(1));
}

// An append that waited while the file was replaced adds to the new file,
// and a replacement waits for the lock as appends do.
TEST(FileLock, AppendFollowsAReplacementAndReplaceWaits) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), kNoSections);
  WriteFile(folder.File("lk.txt"), "old\n");
  int held = LockFile(folder.File("lk.txt"));
  pid_t appender = Start(folder, {"map.tmap", "lk.txt"}, "");
  pid_t replacer = Start(folder, {}, "l w lk.txt q");
  ::usleep(200000);
  EXPECT_EQ(ReadFile(folder.File("lk.txt")), "old\n");  // both still wait
  WriteFile(folder.File("new.txt"), "new\n");
  std::filesystem::rename(folder.File("new.txt"), folder.File("lk.txt"));
  ::close(held);
  EXPECT_EQ(Wait(appender), 0);
  EXPECT_EQ(Wait(replacer), 0);
  const std::string text = ReadFile(folder.File("lk.txt"));
  // Whichever went first, the old file's content is gone and nothing was lost
  // into a file no name leads to.
  EXPECT_TRUE(text == DefaultGrid(1) || text == DefaultGrid(1) + DefaultGrid(1) ||
              text == "new\n" + DefaultGrid(1))
      << text;
}

// A replacement interrupted while its temporary file exists leaves none.
TEST(FileLock, SignalsRemoveTheTemporaryFile) {
  TempFolder folder;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    pid_t child = ::fork();
    if (child == 0) {
      FileReplacer file;
      if (!file.Open((folder.path() + "/out.txt").c_str()) || !file.Write("part")) ::_exit(3);
      ::raise(signal);
      ::_exit(4);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << signal;
  }
}

TEST(FileLock, NewFilesFollowTheUmaskWhichStaysAsItWas) {
  TempFolder folder;
  mode_t old = ::umask(027);
  FileReplacer file;
  ASSERT_TRUE(file.Open(folder.File("new.txt").c_str()) && file.Write("x") && file.Finish());
  EXPECT_EQ(::umask(old), 027u);
  struct stat info;
  ASSERT_EQ(::stat(folder.File("new.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace beatmarks::testing
