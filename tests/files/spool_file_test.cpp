#include "files/spool_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/map_file.h"

namespace beatmarks {
namespace {

// Everything a feed gives, block by block.
std::string AllOf(ByteFeed& feed) {
  std::string all;
  char block[7];
  for (std::size_t got; (got = feed.Read(block, sizeof block)) > 0;) all.append(block, got);
  return all;
}

// A pipe's bytes after a head kept in a nameless file, read back twice from
// its start as an input file adopts it.
TEST(SpoolFile, KeepsAPipeToReadAgain) {
  for (const std::string& rest : {std::string(), std::string("0.5\n1\n"), std::string(300000, 'x')}) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
      ::close(ends[0]);
      const bool wrote = ::write(ends[1], rest.data(), rest.size()) == static_cast<ssize_t>(rest.size());
      ::_exit(wrote ? 0 : 1);
    }
    ::close(ends[1]);
    std::string reason;
    const int spool = SpoolToFile(ends[0], "head;", reason);
    ::close(ends[0]);
    int status = -1;
    ::waitpid(writer, &status, 0);
    EXPECT_EQ(status, 0);
    ASSERT_GE(spool, 0) << reason;
    InputFile input;
    input.Adopt(spool);
    ASSERT_TRUE(input.Rereadable());
    for (int reading = 0; reading < 2; ++reading) {
      InputFeed feed = input.Feed();
      EXPECT_EQ(AllOf(feed), "head;" + rest);
      EXPECT_EQ(feed.Failure(), "");
    }
  }
}

TEST(SpoolFile, NoFolderIsTheReason) {
  const char* old = std::getenv("TMPDIR");
  const std::string kept = old ? old : "";
  ::setenv("TMPDIR", "/nonexistent-folder", 1);
  std::string reason;
  EXPECT_EQ(SpoolToFile(STDIN_FILENO, "", reason), -1);
  EXPECT_EQ(reason, "could not keep a copy in /nonexistent-folder: No such file or directory");
  if (old) {
    ::setenv("TMPDIR", kept.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

}  // namespace
}  // namespace beatmarks
