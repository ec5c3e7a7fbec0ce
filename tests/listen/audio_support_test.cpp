// A build without libsndfile refuses every recording with one line.
#include <gtest/gtest.h>

#include "listen/attacks.h"
#include "listen/snap.h"

namespace beatmarks {
namespace {

TEST(ListenSupport, MatchesTheBuild) {
  SnapResult snapped;
  AttackList listed;
  std::string snapError, listError;
  EXPECT_FALSE(SnapTaps("/nonexistent/take.wav", {1.0}, {}, snapped, snapError));
  EXPECT_FALSE(ListAttacks("/nonexistent/take.wav", 0, 1, listed, listError));
#ifdef BEATMARKS_HAVE_SNDFILE
  EXPECT_EQ(snapError, "/nonexistent/take.wav: No such file or directory");
#else
  EXPECT_EQ(snapError, "this build has no audio support (libsndfile)");
#endif
  EXPECT_EQ(listError, snapError);
}

}  // namespace
}  // namespace beatmarks
