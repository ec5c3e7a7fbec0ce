#include "locate/located_formats.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/number_scan.h"
#include "tmap/text_map_timeline.h"

namespace beatmarks {
namespace {

// The grids here are all buildable; a failure shows as an empty optional.
std::string& BuildError() {
  static std::string error;
  return error;
}


// 120 bpm 4/4 for two measures, then 60 bpm 3/4 for one, two divisions a beat.
GridIndex TwoTempos() {
  static TempoArray tempo{120.0f, 60.0f};
  static CountArray beats{4, 3}, measures{2, 1};
  static TempoTexts texts{MapTempoText("120"), MapTempoText("60")};
  TextMapTimeline timeline({2, tempo, beats, measures, &texts}, 2, Rational());
  return *GridIndex::Build(timeline, 2, BuildError());
}

// Times in, on, before and after the map, with names that need quoting or
// escaping (control bytes, UTF-8 well formed and not), and times written in
// every way a decimal may be.
const std::string kTimes =
    "time,name\n0.26,plain\n.5,\"with, comma\"\n-1,\"q\"\"uote\"\n"
    "007.,tab\tand \x01 \xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5 \xff\xED\xA0\x80\n3.9,\n1000,\n";

std::string Written(LocatedFormat format, std::string_view times, bool& written, std::string& error) {
  const std::string name = ::testing::TempDir() + "located";
  ExportFile out;
  EXPECT_TRUE(out.Open(name, WriteMode::kReplace));
  written = WriteLocated(format, times, TwoTempos(), {44100, Rational(), 1}, out, error);
  EXPECT_TRUE(out.Finish());
  std::ifstream file(name, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

TEST(LocatedFormats, EachFormat) {
  const struct {
    LocatedFormat format;
    std::string text;
  } kCases[] = {
      {LocatedFormat::kCsv,
       "time,where,measure,beat,into_beat,nearest,deviation,deviation_frames,name\r\n"
       "0.26,in,1,1,0.520000,1.1.2,0.010000000,441,plain\r\n"
       ".5,in,1,2,0.000000,1.2.1,0.000000000,0,\"with, comma\"\r\n"
       "-1,before,,,,,,,\"q\"\"uote\"\r\n"
       "007.,after,,,,,,,tab\tand \x01 \xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5 \xff\xED\xA0\x80\r\n"
       "3.9,in,2,4,0.800000,3.1.1,-0.100000000,-4410,\r\n"
       "1000,after,,,,,,,\r\n"},
      {LocatedFormat::kLabels,
       "0.26\t0.26\t1.1.2 +0.010000 s\n.5\t.5\t1.2.1 0.000000 s\n-1\t-1\tbefore\n007.\t007.\tafter\n"
       "3.9\t3.9\t3.1.1 -0.100000 s\n1000\t1000\tafter\n"},
      {LocatedFormat::kJson,
       "{\"sampleRate\":44100,\"divisions\":2,\"offset\":0,\n\"times\":["
       "\n{\"time\":0.26,\"where\":\"in\",\"measure\":1,\"beat\":1,\"intoBeat\":0.520000,\"nearest\":\"1.1.2\","
       "\"deviation\":0.010000000,\"deviationSamples\":441,\"name\":\"plain\"},"
       "\n{\"time\":0.5,\"where\":\"in\",\"measure\":1,\"beat\":2,\"intoBeat\":0.000000,\"nearest\":\"1.2.1\","
       "\"deviation\":0.000000000,\"deviationSamples\":0,\"name\":\"with, comma\"},"
       "\n{\"time\":-1,\"where\":\"before\",\"name\":\"q\\\"uote\"},"
       "\n{\"time\":7,\"where\":\"after\",\"name\":\"tab\\u0009and \\u0001 \xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5 "
       "\\ufffd\\ufffd\\ufffd\\ufffd\"},"
       "\n{\"time\":3.9,\"where\":\"in\",\"measure\":2,\"beat\":4,\"intoBeat\":0.800000,\"nearest\":\"3.1.1\","
       "\"deviation\":-0.100000000,\"deviationSamples\":-4410},"
       "\n{\"time\":1000,\"where\":\"after\"}]}\n"},
  };
  for (const auto& c : kCases) {
    bool written = false;
    std::string error;
    EXPECT_EQ(Written(c.format, kTimes, written, error), c.text);
    EXPECT_TRUE(written);
  }
}

TEST(LocatedFormats, BadTimesWriteNothing) {
  bool written = true;
  std::string error;
  EXPECT_EQ(Written(LocatedFormat::kJson, "1\n2\nabc\n", written, error), "");
  EXPECT_FALSE(written);
  EXPECT_EQ(error, "TIMES line 3: 'abc' is not a time (times read: seconds such as 12.5, m:ss.fff, h:mm:ss.fff)");
}

}  // namespace
}  // namespace beatmarks
