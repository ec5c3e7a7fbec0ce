// Saving as users meet it: permissions, links, owners, the program's own
// output, pipes whose reader leaves, full disks, size limits and locks, all
// made real for the built program.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/run_program.h"
#include "reference_grid.h"

namespace beatmarks::testing {
namespace {

constexpr uid_t kNobody = 65534;
const std::string kBanner = "Beatmarks 1.0\n";
const char kNoSections[] = "no sections here\n";

// In the child: becomes the unprivileged user, as a user's own shell would be.
void BecomeNobody() {
  if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
    ::_exit(126);
  }
}

// Interactive words with the command list switched off.
RunResult Session(const TempFolder& folder, const std::string& words, bool asNobody = false) {
  if (!asNobody) return RunWith({{}, "l " + words, folder.path(), "", nullptr});
  return RunWith({{}, "l " + words, folder.path(), "", BecomeNobody}, ProgramForOtherUser());
}

// What a session shows before its first command: the banner and the list.
const std::string& Intro() {
  static const std::string intro = [] {
    TempFolder folder;
    return RunWith({{}, "l q", folder.path(), "", nullptr}).out;
  }();
  return intro;
}

std::string Saved(const std::string& text) {
  return "Saved " + std::to_string(text.size()) + " bytes\n";
}

struct stat StatOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info;
}

bool NoTemporaryFiles(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind(".beatmarks-", 0) == 0) return false;
  }
  return true;
}

class AsUsers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
    if (ProgramForOtherUser().empty()) {
      GTEST_SKIP() << "no folder another user may run a program from";
    }
    ::chmod(folder.path().c_str(), 0777);
  }
  TempFolder folder;
};

TEST_F(AsUsers, ReadOnlyFileIsRefusedExceptForRoot) {
  const std::string file = folder.File("ro.txt");
  for (bool asNobody : {true, false}) {
    WriteFile(file, "old\n");
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    RunResult r = Session(folder, "w ro.txt q", asNobody);
    if (asNobody) {
      EXPECT_NE(r.out.find("Error: Could not write file ro.txt!\n"), std::string::npos);
      EXPECT_EQ(ReadFile(file), "old\n");
    } else {
      EXPECT_NE(r.out.find(Saved(DefaultGrid(1))), std::string::npos);
      EXPECT_EQ(ReadFile(file), DefaultGrid(1));
      EXPECT_EQ(StatOf(file).st_mode & 07777, 0444u);
    }
    EXPECT_TRUE(NoTemporaryFiles(folder.path()));
    std::filesystem::remove(file);
  }
}

// Where no new file can take the old one's place, it is written in place.
TEST_F(AsUsers, WrittenInPlaceWhenARenameWouldLoseSomething) {
  // A writable file in a folder the user may not write to.
  const std::string locked = folder.File("locked");
  ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);
  WriteFile(locked + "/out.txt", std::string(100000, 'o'));
  ::chmod((locked + "/out.txt").c_str(), 0666);
  // A file with a second link, and a file of another owner, in a writable folder.
  WriteFile(folder.File("linked.txt"), "old");
  ASSERT_EQ(::chown(folder.File("linked.txt").c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::link(folder.File("linked.txt").c_str(), folder.File("other-name.txt").c_str()), 0);
  WriteFile(folder.File("root-owned.txt"), "old");
  ::chmod(folder.File("root-owned.txt").c_str(), 0666);

  RunResult r = Session(folder, "w locked/out.txt w linked.txt w root-owned.txt q", true);
  EXPECT_EQ(r.out, Intro() + "Enter file to write data to\n" + Saved(DefaultGrid(1)) +
                       "Enter file to write data to\n" + Saved(DefaultGrid(1)) +
                       "Enter file to write data to\n" + Saved(DefaultGrid(1)));
  EXPECT_EQ(ReadFile(locked + "/out.txt"), DefaultGrid(1));  // cut to the new length
  EXPECT_EQ(ReadFile(folder.File("other-name.txt")), DefaultGrid(1));
  EXPECT_EQ(StatOf(folder.File("linked.txt")).st_nlink, 2u);
  EXPECT_EQ(StatOf(folder.File("root-owned.txt")).st_uid, 0u);
  EXPECT_EQ(ReadFile(folder.File("root-owned.txt")), DefaultGrid(1));
  EXPECT_TRUE(NoTemporaryFiles(folder.path()));
}

// The owner is given back before the mode, which a change of owner clears.
TEST_F(AsUsers, ReplaceKeepsOwnerAndSetIdBits) {
  const std::string file = folder.File("tool.txt");
  WriteFile(file, "old");
  ASSERT_EQ(::chown(file.c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::chmod(file.c_str(), 06755), 0);
  RunResult r = Session(folder, "w tool.txt q");
  EXPECT_EQ(ReadFile(file), DefaultGrid(1));
  struct stat info = StatOf(file);
  EXPECT_EQ(info.st_uid, kNobody);
  EXPECT_EQ(info.st_mode & 07777, 06755u);
}

// A name that leads to the program's own standard output is written through
// it, after what was printed before, and never renamed over or truncated.
TEST(OwnOutput, ListGoesIntoTheLogInOrder) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), kNoSections);
  const std::string log = folder.File("log.txt");
  const std::string grid = DefaultGrid(1);
  const std::string read = "Read 0 sections, 0 measures, 0 beats\n";
  struct Case {
    std::vector<std::string> args;
    std::string input, expected;
  };
  const std::vector<Case> cases = {
      {{"map.tmap", "/dev/stdout"}, "", kBanner + read + grid + Saved(grid)},
      {{"map.tmap", "log.txt"}, "", kBanner + read + grid + Saved(grid)},
      {{"map.tmap", "/proc/self/fd/1"}, "", kBanner + read + grid + Saved(grid)},
      {{}, "l w /dev/stdout a /dev/fd/1 q",
       Intro() + "Enter file to write data to\n" + grid + Saved(grid) +
           "Enter file to write data to\n" + grid + Saved(grid)},
  };
  for (const Case& c : cases) {
    RunResult r = RunWith({c.args, c.input, folder.path(), log, nullptr});
    EXPECT_EQ(r.out, c.expected) << c.input;
    EXPECT_EQ(r.status, 0);
  }
  RunResult toErr = RunWith({{"map.tmap", "/dev/stderr"}, "", folder.path(), log, nullptr});
  EXPECT_EQ(toErr.err, grid);
  EXPECT_TRUE(NoTemporaryFiles(folder.path()));
}

// Standard output on a full disk: the failure is reported and the status
// says so. A reader that leaves early ends the run quietly.
TEST(OwnOutput, WriteErrorsReachTheStatus) {
  TempFolder folder;
  RunResult full = RunWith({{}, "p q", folder.path(), "/dev/full", nullptr});
  EXPECT_EQ(full.err, "beatmarks: write error: No space left on device\n");
  EXPECT_EQ(full.status, 1);

  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  ::close(pipe[0]);  // nobody reads
  std::string path = "/proc/self/fd/" + std::to_string(pipe[1]);
  RunResult closed = RunWith({{}, "p q", folder.path(), "", [&] { ::dup2(pipe[1], 1); }});
  ::close(pipe[1]);
  EXPECT_EQ(closed.err, "");
  EXPECT_TRUE(closed.signal == SIGPIPE || closed.status == 0);
}

// A reader that takes the first list, then leaves in the middle of the
// second: a small pipe makes the second write wait for it.
pid_t StartLeavingReader(const std::string& fifo, std::size_t firstList) {
  int both = ::open(fifo.c_str(), O_RDWR);
  int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // reads wait, never end early
  ::close(both);
  ::fcntl(reader, F_SETPIPE_SZ, 4096);
  ::fcntl(reader, F_SETFL, 0);
  pid_t child = ::fork();
  if (child == 0) {
    std::string got(firstList + 1, '\0');
    for (std::size_t have = 0; have < got.size();) {
      ssize_t n = ::read(reader, got.data() + have, got.size() - have);
      if (n <= 0) ::_exit(1);
      have += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(reader);
  ::close(writer);
  return child;
}

TEST(DataFiles, ReaderLeavingIsAnErrorAndTheSessionGoesOn) {
  TempFolder folder;
  const std::string fifo = folder.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  pid_t reader = StartLeavingReader(fifo, DefaultGrid(1).size());
  RunResult r = RunWith({{}, "l a fifo o 3000 a fifo q", folder.path(), "", nullptr});
  ::waitpid(reader, nullptr, 0);
  EXPECT_NE(r.out.find(Saved(DefaultGrid(1)) + "Enter stop measure\nEnter file to write data to\n"
                       "Error: Could not write file fifo!\n"),
            std::string::npos);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.signal, 0);
}

void LimitFileSize() {
  rlimit limit{8000, 8000};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

// A file-size limit, as 'ulimit -f' sets it, makes a failed save, not a
// killed program: the appended file is cut back, no temporary file stays.
TEST(DataFiles, FileSizeLimitTakesTheErrorPath) {
  TempFolder folder;
  WriteFile(folder.File("map.tmap"), kNoSections);
  WriteFile(folder.File("out.txt"), "first\n");
  RunResult append = RunWith({{"map.tmap", "out.txt", "44100", "1", "100"}, "", folder.path(), "",
                          LimitFileSize});
  EXPECT_EQ(append.status, 1);
  EXPECT_NE(append.out.find("Error: Could not write file out.txt!"), std::string::npos);
  EXPECT_EQ(ReadFile(folder.File("out.txt")), "first\n");
  RunResult replace = RunWith({{}, "l o 100 w out.txt q", folder.path(), "", LimitFileSize});
  EXPECT_EQ(replace.status, 0);
  EXPECT_NE(replace.out.find("Error: Could not write file out.txt!"), std::string::npos);
  EXPECT_EQ(ReadFile(folder.File("out.txt")), "first\n");
  EXPECT_TRUE(NoTemporaryFiles(folder.path()));
}

// An OUTPUT that is one of the run's inputs, under any name, is refused
// before anything is read or written; the input stays as it was.
TEST(DataFiles, OutputThatIsAnInputIsRefused) {
  const struct {
    std::vector<std::string> args;
    const char* input;
    const char* role;
  } cases[] = {
      {{"-f", "csv", "map.tmap", "./map.tmap"}, "map.tmap", "map"},
      {{"-f", "csv", "map.tmap", "link.tmap"}, "map.tmap", "map"},
      {{"--fit", "-f", "csv", "taps.txt", "taps.txt"}, "taps.txt", "beat list"},
      {{"--fit", "--snap=take.wav", "-f", "csv", "taps.txt", "take.wav"}, "take.wav", "recording"},
      {{"--locate=times.txt", "-f", "csv", "map.tmap", "times.txt"}, "times.txt", "times file"},
      {{"--into=take.wav", "map.tmap", "take.wav"}, "take.wav", "recording"},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t2\n");
    WriteFile(folder.File("taps.txt"), "0.5\n1.0\n1.5\n2.0\n");
    WriteFile(folder.File("times.txt"), "0.25\n");
    WriteFile(folder.File("take.wav"), "RIFF, not read");
    ASSERT_EQ(::link(folder.File("map.tmap").c_str(), folder.File("link.tmap").c_str()), 0);
    const std::string before = ReadFile(folder.File(c.input));
    RunResult r = RunBeatmarks(c.args, "", folder.path());
    SCOPED_TRACE(c.args.back());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Beatmarks 1.0\nbeatmarks: " + c.args.back() + ": the output may not be the " + c.role + " itself\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFile(folder.File(c.input)), before);
  }
}

}  // namespace
}  // namespace beatmarks::testing
