// Saving never loses or damages a file: failures are made real (a file-size
// limit, a directory, a missing folder), not imitated.
#include "files/output_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "e2e/run_program.h"

namespace beatmarks {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

using Saver = bool (*)(const char*, std::string_view);

// The one writer in each of its modes, as the classic list's w and a use it.
bool ReplaceFileContent(const char* name, std::string_view text) {
  int error = 0;
  return WriteWholeFile(name, WriteMode::kReplace, text, error);
}

bool AppendToFile(const char* name, std::string_view text) {
  int error = 0;
  return WriteWholeFile(name, WriteMode::kAppend, text, error);
}

// Saves in a child process whose files may not grow past `limit` bytes.
bool SaveWithSizeLimit(Saver save, const std::string& name, const std::string& text,
                       rlim_t limit) {
  pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit fileSize{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &fileSize);
    ::_exit(save(name.c_str(), text) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::size_t EntriesIn(const std::string& folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

TEST(FileWrite, RefusedTargetsFailInBothModes) {
  TempFolder folder;
  for (Saver save : {Saver{ReplaceFileContent}, Saver{AppendToFile}}) {
    EXPECT_FALSE(save(folder.path().c_str(), "text"));
    EXPECT_FALSE(save(folder.File("missing/out.txt").c_str(), "text"));
  }
  EXPECT_EQ(EntriesIn(folder.path()), 0u);
}

TEST(FileWrite, FailedReplaceLeavesOldContentAndNoTemporaryFile) {
  TempFolder folder;
  const std::string old(5000, 'o');
  WriteFile(folder.File("out.txt"), old);
  EXPECT_FALSE(SaveWithSizeLimit(ReplaceFileContent, folder.File("out.txt"),
                                 std::string(20000, 'n'), 8000));
  EXPECT_EQ(ReadFile(folder.File("out.txt")), old);
  EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

TEST(FileWrite, FailedAppendIsCutBackToTheOldLength) {
  TempFolder folder;
  const std::string old = "first list\n";
  WriteFile(folder.File("out.txt"), old);
  EXPECT_FALSE(SaveWithSizeLimit(AppendToFile, folder.File("out.txt"), std::string(20000, 'n'),
                                 8000));
  EXPECT_EQ(ReadFile(folder.File("out.txt")), old);
  EXPECT_TRUE(SaveWithSizeLimit(AppendToFile, folder.File("out.txt"), "second\n", 8000));
  EXPECT_EQ(ReadFile(folder.File("out.txt")), old + "second\n");
}

TEST(FileWrite, ReplaceKeepsPermissionBitsAndFollowsLinks) {
  TempFolder folder;
  const std::string file = folder.File("real.txt");
  WriteFile(file, "old");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  std::filesystem::create_symlink("real.txt", folder.File("link.txt"));
  ASSERT_TRUE(ReplaceFileContent(folder.File("link.txt").c_str(), "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(folder.File("link.txt")));
  EXPECT_EQ(ReadFile(file), "new");
  struct stat info;
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(EntriesIn(folder.path()), 2u);

  // A link to a file not yet there creates that file and stays a link.
  std::filesystem::create_symlink("later.txt", folder.File("dangling.txt"));
  ASSERT_TRUE(ReplaceFileContent(folder.File("dangling.txt").c_str(), "made"));
  EXPECT_TRUE(std::filesystem::is_symlink(folder.File("dangling.txt")));
  EXPECT_EQ(ReadFile(folder.File("later.txt")), "made");
}

TEST(FileWrite, PipesAreWrittenInPlaceAndNeverWaitedFor) {
  TempFolder folder;
  const std::string fifo = folder.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (Saver save : {Saver{ReplaceFileContent}, Saver{AppendToFile}}) {
    EXPECT_FALSE(save(fifo.c_str(), "no reader"));  // refused at once, not a hang
    std::string received;
    std::thread reader([&] { received = ReadFile(fifo); });
    // The reader may not have opened yet: try until it has.
    bool saved = false;
    for (int i = 0; i < 2000 && !saved; ++i) {
      saved = save(fifo.c_str(), "through the pipe");
      if (!saved) ::usleep(1000);
    }
    reader.join();
    EXPECT_TRUE(saved);
    EXPECT_EQ(received, "through the pipe");
    struct stat info;
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
  }
}

}  // namespace
}  // namespace beatmarks
