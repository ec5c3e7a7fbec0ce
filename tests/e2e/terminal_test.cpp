// The list and every prompt reach the person before the program waits for
// the answer: on a real terminal and through a pipe read by another program.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

// Reads from fd until the text seen so far contains `needle`, or times out.
bool ReadUntil(int fd, std::string& seen, const std::string& needle) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  while (seen.find(needle) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char chunk[4096];
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got <= 0) return false;
    seen.append(chunk, static_cast<std::size_t>(got));
  }
  return true;
}

void Send(int fd, const std::string& text) {
  ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

int ExitStatus(pid_t child) {
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Answers the list and a prompt only after each has been seen.
void Converse(int reader, int writer) {
  std::string seen;
  ASSERT_TRUE(ReadUntil(reader, seen, "'q' to quit")) << seen;
  Send(writer, "o\n");
  ASSERT_TRUE(ReadUntil(reader, seen, "Enter stop measure")) << seen;
  Send(writer, "3\n");
  ASSERT_TRUE(ReadUntil(reader, seen, "'o' to change stop measure (3)")) << seen;
  ASSERT_TRUE(ReadUntil(reader, seen, "'q' to quit")) << seen;
  Send(writer, "q\n");
}

TEST(Terminal, ListAndPromptAppearBeforeInputOnAPseudoTerminal) {
  int master = -1;
  pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    ExecBeatmarks({});
  }
  Converse(master, master);
  EXPECT_EQ(ExitStatus(child), 0);
  ::close(master);
}

TEST(Terminal, ListAndPromptAppearBeforeInputThroughPipes) {
  int toProgram[2], fromProgram[2];
  ASSERT_EQ(::pipe(toProgram), 0);
  ASSERT_EQ(::pipe(fromProgram), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(toProgram[0], STDIN_FILENO);
    ::dup2(fromProgram[1], STDOUT_FILENO);
    ::close(toProgram[1]);
    ::close(fromProgram[0]);
    ExecBeatmarks({});
  }
  ::close(toProgram[0]);
  ::close(fromProgram[1]);
  Converse(fromProgram[0], toProgram[1]);
  ::close(toProgram[1]);
  EXPECT_EQ(ExitStatus(child), 0);
  ::close(fromProgram[0]);
}

// An export to a file shows its progress on a terminal's standard error and
// clears it at the end; the messages around it stay whole. The line is
// redrawn at every flush here (BEATMARKS_PROGRESS_MS=0), so the test does not
// depend on how fast the export runs.
TEST(Terminal, ExportShowsProgressOnlyOnATerminal) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t20000\n");  // 80,000 lines
  const std::vector<std::string> args = {"-f", "labels", "map.tmap", "out.txt"};
  int master = -1;
  pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::chdir(folder.path().c_str()) != 0) ::_exit(127);
    ::setenv("BEATMARKS_PROGRESS_MS", "0", 1);
    ExecBeatmarks(args);
  }
  std::string seen;
  ASSERT_TRUE(ReadUntil(master, seen, "Saved ")) << seen;
  EXPECT_EQ(ExitStatus(child), 0);
  ::close(master);
  EXPECT_NE(seen.find("\rbeatmarks: 0.1 MB written"), std::string::npos) << seen;
  EXPECT_NE(seen.find(" MB written\r\033[KSaved "), std::string::npos) << seen;

  RunResult quiet = RunWith({args, "", folder.path(), "", [] { ::setenv("BEATMARKS_PROGRESS_MS", "0", 1); }});
  EXPECT_EQ(quiet.err.find("MB written"), std::string::npos) << quiet.err;
  EXPECT_NE(quiet.err.find("Saved "), std::string::npos) << quiet.err;
}

}  // namespace
}  // namespace beatmarks::testing
