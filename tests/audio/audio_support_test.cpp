// A build without libsndfile refuses click tracks with one line.
#include <gtest/gtest.h>

#include "audio/audio_file.h"

namespace beatmarks {
namespace {

TEST(AudioSupport, MatchesTheBuild) {
  std::vector<BeatMark> marks{{0, 1, 1, MarkKind::kDownbeat}};
  SpanMarks source(marks);
  AudioOutcome outcome = SaveClickTrack("/nonexistent/x.wav", {44100, 10}, source);
  EXPECT_FALSE(outcome.ok);
#ifdef BEATMARKS_HAVE_SNDFILE
  EXPECT_TRUE(AudioSupported());
  EXPECT_EQ(outcome.error, "Error: Could not write file /nonexistent/x.wav!");
#else
  EXPECT_FALSE(AudioSupported());
  EXPECT_EQ(outcome.error, "Error: This build has no audio support!");
#endif
}

}  // namespace
}  // namespace beatmarks
