// Saving audio as users meet it: click tracks and marked recordings written
// over linked files, files of another owner, files in read-only folders,
// devices and the program's own output, under size limits and signals.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "e2e/run_program.h"

namespace beatmarks::testing {
namespace {

namespace fs = std::filesystem;
constexpr uid_t kNobody = 65534;
constexpr int kFrames = 32000;  // both jobs: 4 s at 8000 a second
const std::string kOld(200000, 'o');  // longer than either new file

// The two ways of making audio, each on the two-measure map of folder Stage().
struct Job {
  const char* name;
  std::vector<std::string> options;
  std::vector<std::string> Args(const std::string& output) const {
    std::vector<std::string> args = options;
    args.insert(args.end(), {"map.tmap", output});
    return args;
  }
};
const Job kJobs[] = {{"click track", {"-f", "wav", "-r", "8000"}},
                     {"into a recording", {"--into=rec.wav"}}};

std::string Head() { return "Beatmarks 1.0\nRead 1 sections, 2 measures, 8 beats\n"; }
std::string SavedLines(const std::string& name) {
  return Head() + "Saved " + name + " with 8 markers\n";
}
std::string FailedLines(const std::string& name) {
  return Head() + "beatmarks: " + name + ": ";
}

int FramesOf(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return -1;
  sf_close(file);
  return static_cast<int>(info.frames);
}

// A writable folder with the map and a recording of 4 s of a rising pattern.
void Stage(const TempFolder& folder) {
  ::chmod(folder.path().c_str(), 0777);
  WriteFile(folder.File("map.tmap"), "tmap\t120\t4\t2\n");
  SF_INFO info{};
  info.samplerate = 8000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(folder.File("rec.wav").c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  std::vector<short> samples(kFrames);
  for (int i = 0; i < kFrames; ++i) samples[i] = static_cast<short>((i * 37) % 4000 - 2000);
  sf_write_short(file, samples.data(), kFrames);
  sf_close(file);
}

// What the job writes to a new file: every other save must give these bytes.
std::string Reference(const TempFolder& folder, const Job& job) {
  RunResult r = RunBeatmarks(job.Args("ref.wav"), "", folder.path());
  EXPECT_EQ(r.status, 0) << job.name << r.err;
  EXPECT_EQ(FramesOf(folder.File("ref.wav")), kFrames) << job.name;
  std::string bytes = ReadFile(folder.File("ref.wav"));
  fs::remove(folder.File("ref.wav"));
  return bytes;
}

struct stat StatOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info;
}

bool NoTemporaryFiles(const std::string& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().rfind(".beatmarks-", 0) == 0) return false;
  }
  return true;
}

// In the child: becomes the unprivileged user, as a user's own shell would be.
void BecomeNobody() {
  if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
    ::_exit(126);
  }
}

RunResult Save(const TempFolder& folder, const std::vector<std::string>& args, bool asNobody,
              std::function<void()> inChild = nullptr) {
  if (!asNobody) return RunWith({args, "", folder.path(), "", inChild});
  return RunWith({args, "", folder.path(), "", BecomeNobody}, ProgramForOtherUser());
}

class AudioSafeWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
    if (ProgramForOtherUser().empty()) {
      GTEST_SKIP() << "no folder another user may run a program from";
    }
  }
};

// Where a rename would lose a link, an owner or need a folder the user may
// not write, the audio is written in place and cut to its length.
TEST_F(AudioSafeWrite, WrittenInPlaceWhenARenameWouldLoseSomething) {
  struct Case {
    const char* what;
    std::string target;
    bool asNobody;
    std::function<void(const TempFolder&)> prepare;
    uid_t owner;
    bool sameInode;
  };
  const Case cases[] = {
      {"two links", "linked.wav", false,
       [](const TempFolder& f) {
         ::link(f.File("linked.wav").c_str(), f.File("other-name.wav").c_str());
       },
       0, true},
      {"owned by root, run as nobody", "roots.wav", true,
       [](const TempFolder& f) { ::chmod(f.File("roots.wav").c_str(), 0666); }, 0, true},
      {"read-only folder", "locked/out.wav", true,
       [](const TempFolder& f) {
         ::chmod(f.File("locked/out.wav").c_str(), 0666);
         ::chmod(f.File("locked").c_str(), 0555);
       },
       0, true},
      // Root can give a new file the old owner: renamed over, owner kept.
      {"owned by nobody, run as root", "nobodys.wav", false,
       [](const TempFolder& f) { ::chown(f.File("nobodys.wav").c_str(), kNobody, kNobody); },
       kNobody, false},
  };
  for (const Job& job : kJobs) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(job.name) + ", " + c.what);
      TempFolder folder;
      Stage(folder);
      const std::string expected = Reference(folder, job);
      const std::string target = folder.File(c.target);
      fs::create_directories(fs::path(target).parent_path());
      WriteFile(target, kOld);
      c.prepare(folder);
      const ino_t inode = StatOf(target).st_ino;
      RunResult r = Save(folder, job.Args(c.target), c.asNobody);
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.err, SavedLines(c.target));
      EXPECT_TRUE(ReadFile(target) == expected);
      EXPECT_EQ(StatOf(target).st_uid, c.owner);
      if (c.sameInode) {
        EXPECT_EQ(StatOf(target).st_ino, inode);
      }
      if (FileExists(folder.File("other-name.wav"))) {
        EXPECT_TRUE(ReadFile(folder.File("other-name.wav")) == expected);
      }
      EXPECT_TRUE(NoTemporaryFiles(folder.path()));
    }
  }
}

void LimitFileSize() {
  rlimit limit{20000, 20000};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

// A save that cannot be made is reported, ends with status 1 and leaves the
// old file as it was, with no temporary file beside it.
TEST_F(AudioSafeWrite, FailuresAreReportedAndChangeNothing) {
  struct Case {
    const char* what;
    std::string target;
    bool asNobody;
    std::function<void()> inChild;
    bool linked;
  };
  const Case cases[] = {
      {"read-only file, run as nobody", "ro.wav", true, nullptr, false},
      {"full disk", "/dev/full", false, nullptr, false},
      {"file-size limit", "out.wav", false, LimitFileSize, false},
      {"file-size limit, written in place", "out.wav", false, LimitFileSize, true},
  };
  for (const Job& job : kJobs) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(job.name) + ", " + c.what);
      TempFolder folder;
      Stage(folder);
      const bool device = c.target[0] == '/';
      if (!device) {
        WriteFile(folder.File(c.target), kOld);
        if (c.asNobody) ::chmod(folder.File(c.target).c_str(), 0444);
        if (c.linked) ::link(folder.File(c.target).c_str(), folder.File("link.wav").c_str());
      }
      RunResult r = Save(folder, job.Args(c.target), c.asNobody, c.inChild);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.signal, 0);
      EXPECT_TRUE(r.err.starts_with(FailedLines(c.target))) << r.err;  // and why, in one line
      EXPECT_EQ(r.err.find("\nbeatmarks: ", r.err.find("\nbeatmarks: ") + 1), std::string::npos) << r.err;
      EXPECT_EQ(r.out, "");
      if (!device) {
        EXPECT_TRUE(ReadFile(folder.File(c.target)) == kOld);
      }
      EXPECT_TRUE(NoTemporaryFiles(folder.path()));
    }
  }
}

// Devices are written through, and a name for the program's own output is
// written after the messages printed before it.
TEST(AudioOwnOutput, DevicesAndOwnOutputGetTheAudio) {
  for (const Job& job : kJobs) {
    SCOPED_TRACE(job.name);
    TempFolder folder;
    Stage(folder);
    const std::string expected = Reference(folder, job);
    RunResult null = RunBeatmarks(job.Args("/dev/null"), "", folder.path());
    EXPECT_EQ(null.status, 0);
    EXPECT_EQ(null.err, SavedLines("/dev/null"));

    const std::string log = folder.File("log");
    RunResult out = RunWith({job.Args("/dev/stdout"), "", folder.path(), log, nullptr});
    EXPECT_EQ(out.status, 0);
    const std::string written = ReadFile(log);
    const std::size_t riff = written.find("RIFF");
    ASSERT_NE(riff, std::string::npos);
    EXPECT_EQ(riff, 0u);  // the messages are on standard error
    WriteFile(folder.File("part.wav"), written.substr(riff, expected.size()));
    EXPECT_EQ(FramesOf(folder.File("part.wav")), kFrames);
    EXPECT_TRUE(written.substr(riff, expected.size()) == expected);
    EXPECT_EQ(written.size(), riff + expected.size());
    EXPECT_EQ(out.err, SavedLines("/dev/stdout"));
    EXPECT_TRUE(NoTemporaryFiles(folder.path()));
  }
}

// Waits until the program writes audio (a temporary file beside the target,
// or an unnamed one) that is no longer empty.
bool WaitUntilWriting(pid_t program) {
  const std::string fds = "/proc/" + std::to_string(program) + "/fd";
  for (int tries = 0; tries < 2000; ++tries) {
    std::error_code ignored;
    for (const auto& fd : fs::directory_iterator(fds, ignored)) {
      const std::string file = fs::read_symlink(fd.path(), ignored).string();
      struct stat info {};
      if ((file.find("/.beatmarks-") != std::string::npos || file.ends_with(" (deleted)")) &&
          ::stat(fd.path().c_str(), &info) == 0 && info.st_size > 0) {
        return true;
      }
    }
    ::usleep(5000);
  }
  return false;
}

// An interrupt or termination in the middle of a long track leaves the old
// file and no temporary file.
TEST(AudioSignals, InterruptedTrackLeavesNothingBehind) {
  struct Case {
    int signal;
    const char* target;
    bool linked;
    const char* map;
  };
  // Long enough to be caught writing: 720 MB of WAV, hours of FLAC.
  const Case cases[] = {{SIGTERM, "click.wav", false, "tmap\t120\t4\t15000\n"},
                        {SIGINT, "click.flac", false, "tmap\t120\t4\t100000\n"},
                        {SIGHUP, "click.wav", true, "tmap\t120\t4\t15000\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.target) + " " + std::to_string(c.signal));
    TempFolder folder;
    WriteFile(folder.File("long.tmap"), c.map);
    WriteFile(folder.File(c.target), kOld);
    if (c.linked) ::link(folder.File(c.target).c_str(), folder.File("link.wav").c_str());
    pid_t program = ::fork();
    if (program == 0) {
      // As a shell starts a job in the foreground, whatever the test runner ignores.
      for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, SIG_DFL);
      if (::chdir(folder.path().c_str()) != 0 || !::freopen("/dev/null", "w", stdout)) ::_exit(127);
      ExecBeatmarks({"-f", "wav", "-r", "8000", "long.tmap", c.target});
    }
    const bool writing = WaitUntilWriting(program);
    ::kill(program, writing ? c.signal : SIGKILL);
    int status = 0;
    ::waitpid(program, &status, 0);
    ASSERT_TRUE(writing) << "the program never started writing";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
    EXPECT_TRUE(ReadFile(folder.File(c.target)) == kOld);
    EXPECT_TRUE(NoTemporaryFiles(folder.path()));
  }
}

}  // namespace
}  // namespace beatmarks::testing
