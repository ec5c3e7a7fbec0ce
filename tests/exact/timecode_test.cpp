#include "exact/timecode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace beatmarks {
namespace {

TimecodeRate Rate(const char* name) { return *TimecodeRateNamed(name); }

// A label as the test writes it itself.
std::string Label(const TimecodeFields& f, bool drop) {
  char text[64];
  std::snprintf(text, sizeof text, "%02llu:%02u:%02u%c%02u", static_cast<unsigned long long>(f.hours),
                f.minutes, f.seconds, drop ? ';' : ':', f.frames);
  return text;
}

// The clock of labels, one frame on: the frames field counts up to the rate,
// and drop-frame jumps from the end of a minute not followed by a tenth one
// straight to its label 02.
void Tick(TimecodeFields& f, std::uint32_t nominal, bool drop) {
  if (++f.frames < nominal) return;
  f.frames = 0;
  if (++f.seconds < 60) return;
  f.seconds = 0;
  if (++f.minutes == 60) {
    f.minutes = 0;
    ++f.hours;
  }
  if (drop && f.minutes % 10 != 0) f.frames = 2;
}

TEST(Timecode, RatesByNameOnly) {
  EXPECT_EQ(Rate("29.97df").numerator * 1001u, 30000u * Rate("29.97df").denominator);
  EXPECT_TRUE(Rate("29.97df").drop && !Rate("29.97").drop && Rate("23.976").nominal == 24);
  for (const char* bad : {"", "29.97DF", "29,97", "2997", "25 ", "30df", "24.0", "60", "23.98"}) {
    EXPECT_FALSE(TimecodeRateNamed(bad)) << bad;
  }
}

TEST(Timecode, EveryFrameOfADayCountedLikeAClock) {
  for (const char* name : {"24", "25", "29.97", "29.97df", "30", "23.976"}) {
    const TimecodeRate rate = Rate(name);
    TimecodeFields clock;
    std::uint64_t frame = 0;
    for (; clock.hours < 24; ++frame, Tick(clock, rate.nominal, rate.drop)) {
      const TimecodeFields f = FieldsOfFrame(frame, rate);
      if (f != clock) FAIL() << name << " frame " << frame << ": " << Label(f, rate.drop);
      // Every minute's first label, and the one before it, as text both ways;
      // the labels drop-frame skips read as no frame.
      if (clock.seconds == 0 && clock.frames == 2 && rate.drop && clock.minutes % 10 != 0) {
        for (std::uint32_t skipped : {0u, 1u}) {
          const TimecodeFields label{clock.hours, clock.minutes, 0, skipped};
          EXPECT_FALSE(ParseTimecode(Label(label, true), rate)) << Label(label, true);
        }
      }
      if (clock.seconds == 0 && clock.frames <= 2) {
        for (const std::uint64_t at : {frame, frame == 0 ? 0 : frame - 1}) {
          const std::string text = TimecodeText(at, rate);
          EXPECT_EQ(text, Label(FieldsOfFrame(at, rate), rate.drop)) << name;
          EXPECT_EQ(ParseTimecode(text, rate), at) << name << " " << text;
        }
      }
    }
    // A day of drop-frame is 24 x 107892 frames; of the others, a whole day of labels.
    EXPECT_EQ(frame, rate.drop ? 24u * 107892 : 24u * 3600 * rate.nominal) << name;
    EXPECT_EQ(TimecodeText(frame, rate), rate.drop ? "24:00:00;00" : "24:00:00:00") << name;
  }
}

TEST(Timecode, TextsReadAndRefused) {
  struct Case {
    const char* rate;
    const char* text;
    long long frame;  // -1: refused
  };
  const Case cases[] = {
      {"25", "00:00:01:00", 25},        {"25", "0:00:01:24", 49},       {"25", "01:00:00:00", 90000},
      {"24", "00:00:00:23", 23},        {"23.976", "00:01:00:00", 1440}, {"29.97", "00:01:00:00", 1800},
      {"29.97df", "00:01:00;02", 1800}, {"29.97df", "00:01:00:02", 1800}, {"29.97df", "00:10:00;00", 17982},
      {"29.97df", "01:00:00;00", 107892}, {"30", "123456789:00:00:00", 123456789LL * 108000},
      {"25", "00:00:00:25", -1},        {"24", "00:00:00:24", -1},      {"25", "00:60:00:00", -1},
      {"25", "00:00:60:00", -1},        {"25", "00:00:01;00", -1},      {"29.97", "00:00:01;00", -1},
      {"29.97df", "00:01:00;00", -1},   {"29.97df", "00:09:00;01", -1}, {"25", "1234567890:00:00:00", -1},
      {"25", "00:00:00:0", -1},         {"25", "00:0:00:00", -1},       {"25", " 00:00:00:00", -1},
      {"25", "00:00:00:00 ", -1},       {"25", "00:00:00", -1},         {"25", "-00:00:01:00", -1},
      {"25", "00:00:00.00", -1},        {"25", "", -1},                 {"25", ":00:00:00", -1},
  };
  for (const Case& c : cases) {
    const std::optional<std::uint64_t> frame = ParseTimecode(c.text, Rate(c.rate));
    if (c.frame < 0) {
      EXPECT_FALSE(frame) << c.rate << " " << c.text;
    } else {
      EXPECT_EQ(frame, static_cast<std::uint64_t>(c.frame)) << c.rate << " " << c.text;
    }
  }
}

TEST(Timecode, TimesOnTheFrameShowingThen) {
  struct Case {
    const char* rate;
    std::int64_t numerator, denominator;  // seconds
    std::int64_t frame;
  };
  const Case cases[] = {
      {"25", 0, 1, 0},          {"25", 1, 2, 12},         {"25", 1, 1, 25},          {"25", 24, 25, 24},
      {"25", 2399, 2500, 23},   {"30", 1, 30, 1},         {"30", 29, 900, 0},        {"29.97", 1001, 30000, 1},
      {"29.97", 1000, 30000, 0}, {"29.97df", 1, 1, 29},   {"23.976", 1001, 24000, 1}, {"23.976", 1, 1, 23},
      {"24", 86400, 1, 2073600}, {"29.97df", 3600, 1, 107892}, {"29.97", 3600, 1, 107892},
  };
  for (const Case& c : cases) {
    const TimecodeRate rate = Rate(c.rate);
    const Rational seconds(c.numerator, c.denominator);
    EXPECT_EQ(FrameAt(seconds, rate), BigInt(c.frame)) << c.rate << " " << c.numerator << "/" << c.denominator;
    // A frame starts where it says, and the time lies within its frame.
    EXPECT_LE(FrameStart(static_cast<std::uint64_t>(c.frame), rate), seconds);
    EXPECT_GT(FrameStart(static_cast<std::uint64_t>(c.frame) + 1, rate), seconds);
  }
}

TEST(Timecode, DivisionsOfALineOnTheirExactFrames) {
  struct Case {
    const char* rate;
    Rational base, step;
  };
  // Steps of a frame exactly, of a half frame, of a beat that lands on
  // frames' starts again and again, and a line of big integers.
  const Case cases[] = {
      {"29.97df", Rational(0), Rational(1001, 30000)}, {"29.97", Rational(0), Rational(1001, 60000)},
      {"25", Rational(0), Rational(1, 2)},             {"24", Rational(1, 3), Rational(5, 8)},
      {"23.976", Rational(7), Rational(1001, 2000)},   {"30", Rational(0), Rational(60, 137)},
      {"25", Rational(1, 1000000007), Rational(BigInt(1) << 100, BigInt(3) << 100)},
  };
  for (const Case& c : cases) {
    const TimecodeRate rate = Rate(c.rate);
    const LinearTime line(c.base, c.step);
    for (unsigned n = 0; n < 3000; ++n) {
      std::uint64_t frame = 0;
      ASSERT_TRUE(FrameOfDivision(line, n, rate, frame));
      ASSERT_EQ(BigInt::FromUnsigned(frame), FrameAt(line.At(n), rate)) << c.rate << " n " << n;
    }
  }
  // The same from fractions of machine integers, on the frames' starts.
  const LinearTime fractions = LinearTime::FromFractions(0, 1, 1001, 30000);
  for (unsigned n = 0; n < 3000; ++n) {
    std::uint64_t frame = 0;
    ASSERT_TRUE(FrameOfDivision(fractions, n, Rate("29.97"), frame));
    ASSERT_EQ(frame, n);
  }
}

TEST(Timecode, HoursPastADayAndPastMachineIntegers) {
  EXPECT_EQ(TimecodeText(25u * 3600 * 100 + 26, Rate("25")), "100:00:01:01");
  std::string text;
  // 2^80 frames at 25: its hours in full, then the rest of the hour.
  AppendTimecode(BigInt(1) << 80, Rate("25"), text);
  const std::uint64_t rest = static_cast<std::uint64_t>((static_cast<unsigned __int128>(1) << 80) % 90000);
  EXPECT_EQ(text, std::to_string(static_cast<std::uint64_t>((static_cast<unsigned __int128>(1) << 80) / 90000)) +
                      TimecodeText(rest, Rate("25")).substr(2));
  text.clear();
  AppendTimecode(BigInt(3 * 107892 + 1800), Rate("29.97df"), text);
  EXPECT_EQ(text, "03:01:00;02");
}

}  // namespace
}  // namespace beatmarks
