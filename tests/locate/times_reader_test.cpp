#include "locate/times_reader.h"
#include "locate/time_forms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <ostream>
#include <random>
#include <utility>
#include <vector>

namespace beatmarks {
namespace {

// Every time read as "time|name@line" joined with ';', or the problem.
std::string ReadAll(std::string_view bytes) {
  TimesReader reader(bytes);
  TimedName time;
  std::string text;
  while (reader.Next(time)) {
    text += std::string(time.time) + "|" + time.name + "@" + std::to_string(time.line) + ";";
  }
  return reader.error().empty() ? text : reader.error();
}

const std::string kNote(kTimeFormsRead);

struct ReadCase {
  const char* name;
  std::string bytes;
  std::string read;  // or the problem
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class TimesForms : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TimesForms, ReadOrRefuse) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(ReadAll(c.bytes), c.read);
  EXPECT_EQ(CheckTimes(c.bytes), c.read.find("TIMES") == 0 ? c.read : "");
}

const ReadCase kForms[] = {
    {"NumbersWithBomBlanksCrLf", "\xEF\xBB\xBF 1.5 \r\n\r\n\t\n-0.25\n.5\n5.", "1.5|@1;-0.25|@4;.5|@5;5.|@6;"},
    {"UnsortedNumbers", "3\n1\n2\n", "3|@1;1|@2;2|@3;"},
    {"LabelTrack", "1.5\t2.0\tverse one\n\\\t100.0\t2000.0\n3.25\t3.25\t\n7\t8\ttab\tin text\n",
     "1.5|verse one@1;3.25|@3;7|tab\tin text@4;"},
    {"CsvWithName", "Time , Name\r\n1.5,\"a, \"\"b\"\"\"\r\n \r\n2,c\r\n", "1.5|a, \"b\"@2;2|c@4;"},
    {"CsvNameBeforeLabel", "label,name,time\nx,y,1\n", "1|y@2;"},
    {"OwnCsvReadsBack", "time,frame,measure,beat,division,label\r\n0.500000000,22050,1,2,1,1.2\r\n",
     "0.500000000|1.2@2;"},
    {"CsvQuotedLineEnds", "time,name\n1,\"two\nlines\"\n\"2\",x\n", "1|two\nlines@2;2|x@4;"},
    {"CsvTimeAlone", "time\n4\n", "4|@2;"},
    {"NotANumber", "1\nabc\n", "TIMES line 2: 'abc' is not a time" + kNote},
    {"FirstLineNotANumber", "abc\ndef\n", "TIMES line 1: 'abc' is not a time" + kNote},
    {"Exponent", "1e3\n", "TIMES line 1: '1e3' is not a time" + kNote},
    {"PlusSign", "1\n+2\n", "TIMES line 2: '+2' is not a time" + kNote},
    {"TwoPoints", "1.2.3\n", "TIMES line 1: '1.2.3' is not a time" + kNote},
    {"SignAlone", "0\n-\n", "TIMES line 2: '-' is not a time" + kNote},
    {"LongGarbageCut", "1\n" + std::string(50, 'x') + "\x01\n",
     "TIMES line 2: '" + std::string(40, 'x') + "...' is not a time" + kNote},
    {"CutBetweenCharacters", "1\n" + std::string(39, 'x') + "\xc3\xa9\xc3\xa9\n",
     "TIMES line 2: '" + std::string(39, 'x') + "...' is not a time" + kNote},
    {"Utf16ShownSafely", std::string("\xff\xfe" "0\0.\0" "5\0\n\0", 10), "TIMES line 1: '??0?.?5?' is not a time" + kNote},
    {"EscapesShownSafely", "1\n\x1b[2J\xc2\x9b" "1m\n", "TIMES line 2: '?[2J?1m' is not a time" + kNote},
    {"LabelStartNotATime", "1\t1\ta\nx\t2\tb\n", "TIMES line 2: 'x' is not a time" + kNote},
    {"CsvWithoutTime", "when,name\n1,a\n", "TIMES line 1: the CSV header has no 'time' column"},
    {"CsvRowTooShort", "name,time\nfoo\n", "TIMES line 2: '' is not a time" + kNote},
    {"CsvQuoteNotClosed", "time,name\n1,\"abc\n2,x\n", "TIMES line 2: a quoted field does not end"},
    {"Empty", "", "TIMES holds no times"},
    {"OnlyBlankLines", "\xEF\xBB\xBF\r\n  \n", "TIMES holds no times"},
    {"CsvHeaderOnly", "time,name\r\n", "TIMES holds no times"},
    // Columns people name their times by, and headers of one column.
    {"CsvTimeInSeconds", "Time (s),Name\n0.5,a\n", "0.5|a@2;"},
    {"CsvStartOnsetPosition", "onset,START,position\n1,2,3\n", "2|@2;"},
    {"CsvOnsetBeforePosition", "position,Onset\n1,2\n", "2|@2;"},
    {"OneColumnTimeInSeconds", "Time (s)\n0.5\n1\n", "0.5|@2;1|@3;"},
    {"OneWordHeader", "\nTaps\n\n0.5\n", "0.5|@4;"},
    {"OneColumnNamedName", "name\n0.5\n", "0.5|@2;"},
    // Mistakes said for what they are.
    {"DecimalCommaFirst", "0,749\n1,5\n", "TIMES line 1: '0,749' has a decimal comma; write 0.749"},
    {"DecimalCommaLater", "0\n-0,5\n", "TIMES line 2: '-0,5' has a decimal comma; write -0.5"},
    {"DecimalCommaLabel", "1,25\t1,25\tx\n", "TIMES line 1: '1,25' has a decimal comma; write 1.25"},
    {"DecimalCommaSplitsRow", "time\n1\n0, 749\n", "TIMES line 3: '0,749' has a decimal comma; write 0.749"},
    {"DecimalCommaSplitsRowOfTwo", "time,name\n1,a\n2,5,b\n", "TIMES line 3: '2,5' has a decimal comma; write 2.5"},
    {"DecimalCommaQuoted", "time\n\"3,5\"\n", "TIMES line 2: '3,5' has a decimal comma; write 3.5"},
    {"NameOfDigitsIsNoComma", "time,name\n2,5\n", "2|5@2;"},
    {"MillisecondColumn", "when,MSec\n1,612\n-3,-1\n", "0.612|@2;-0.001|@3;"},
    {"MillisecondColumnAlone", "ms\n612\n.5\n1234.5\n", "0.612|@2;0.0005|@3;1.2345|@4;"},
    {"TimeInMilliseconds", "Time (ms),name\n1500,a\n", "1.500|a@2;"},
    {"ClockTimes", "0:00.500\n1:02.25\n1:00:00\n-0:01.5\n10:00.\n", "0.500|@1;62.25|@2;3600|@3;-1.5|@4;600|@5;"},
    {"ClockSecondsPast59", "0:00.5\n1:60\n", "TIMES line 2: '1:60' is not a time" + kNote},
    {"ClockOneDigitSeconds", "1:5.5\n", "TIMES line 1: '1:5.5' is not a time" + kNote},
    {"ClockFourFields", "1:00:00:00\n", "TIMES line 1: '1:00:00:00' is not a time" + kNote},
    {"ClockInLabels", "0:01.5\t0:02\tx\n", "1.5|x@1;"},
    {"ReaperMarkers", "#,Name,Start,End,Length,Color\nM1,Intro,0:00.500,,,\nM2,Verse,1:02.000,,,\n",
     "0.500|Intro@2;62.000|Verse@3;"},
    {"HeaderlessCsv", "0.500000000,\"1\"\n1.000000000,\"2\"\n", "0.500000000|@1;1.000000000|@2;"},
    {"HeaderlessCsvClock", "0:01.5,x\n", "1.5|@1;"},
    {"SemicolonsDecimalCommas", "time;label\r\n0,5;a\r\n1,25;\"b;c\"\r\n2;d\r\n", "0.5|a@2;1.25|b;c@3;2|d@4;"},
    {"SemicolonsHeaderless", "0,5;a\n-1,5;b\n", "0.5|@1;-1.5|@2;"},
    {"SemicolonWithCommaText", "time,name\n1,a;b\n", "1|a;b@2;"},
    {"SemicolonsStillTimes", "time;label\nx;a\n", "TIMES line 2: 'x' is not a time" + kNote},
    {"MillisecondsBesideTime", "time,milliseconds\n0.612,612\n", "0.612|@2;"},
};

INSTANTIATE_TEST_SUITE_P(Locate, TimesForms, ::testing::ValuesIn(kForms),
                         [](const auto& info) { return std::string(info.param.name); });

// The "note" and "none" columns of every row as "[field]", "-" where the
// header has no such column, then "@" and the header's line.
std::string NoteColumns(std::string_view bytes) {
  TimesReader reader(bytes);
  TimedName time;
  std::string text;
  while (reader.Next(time)) {
    for (std::string_view name : {"note", "none"}) {
      const std::optional<std::size_t> column = reader.Column(name);
      text += column ? '[' + reader.Field(*column) + ']' : std::string("-");
    }
    text += ';';
  }
  return text + "@" + std::to_string(reader.headerLine());
}

TEST(TimesReader, OtherCsvColumns) {
  const std::pair<std::string, std::string> kCases[] = {
      {"time,note\n1,\"a, \"\"b\"\"\"\n", "[a, \"b\"]-;@1"},
      {"time,note\n1, \t x \t\n2,\" y \"\n", "[x]-;[ y ]-;@1"},
      {"time,a,note\n1,x\n", "[]-;@1"},
      {" Time ,\" NOTE \",note\n1,x,y\n", "[x]-;@1"},
      {"\r\n \r\ntime,note\r\n1,x\r\n2,\"y\"\r\n", "[x]-;[y]-;@3"},
      {"1\n2\n", "--;--;@0"},
  };
  for (const auto& [bytes, read] : kCases) EXPECT_EQ(NoteColumns(bytes), read) << bytes;
}

// Bytes given a few at a time (short reads), then a failure if one is set.
class PieceFeed final : public ByteFeed {
 public:
  PieceFeed(std::string_view bytes, std::size_t piece, std::string failure = {})
      : bytes_(bytes), piece_(piece), failAtEnd_(std::move(failure)) {}
  std::size_t Read(char* into, std::size_t size) override {
    const std::size_t given = std::min({size, piece_, bytes_.size()});
    std::memcpy(into, bytes_.data(), given);
    bytes_.remove_prefix(given);
    if (given == 0) failure_ = failAtEnd_;
    return given;
  }
  const std::string& Failure() const override { return failure_; }

 private:
  std::string_view bytes_;
  std::size_t piece_;
  std::string failAtEnd_, failure_;
};

// All a reader tells: form, times, names, lines, the "note" column, header
// line and error.
std::string EverythingRead(TimesReader& reader) {
  TimedName time;
  std::string text;
  while (reader.Next(time)) {
    text.append(time.time).append("|").append(time.name).append("@").append(std::to_string(time.line));
    if (const std::optional<std::size_t> note = reader.Column("note")) {
      text.append("[").append(reader.Field(*note)).append("]");
    }
    text += ';';
  }
  text.append(" form ").append(std::to_string(static_cast<int>(reader.form())));
  text.append(" header ").append(std::to_string(reader.headerLine()));
  return text.append(" ").append(reader.error());
}

// CSV records with quoted fields over several lines, doubled quotes, CRLF
// or LF, blank records, a byte order mark, and now and then a bad time.
std::vector<std::string> GeneratedCsv() {
  std::mt19937 random(25);
  auto pick = [&](std::vector<std::string> from) { return from[random() % from.size()]; };
  std::vector<std::string> files;
  for (int file = 0; file < 60; ++file) {
    const std::string end = file % 2 ? "\r\n" : "\n";
    std::string text(file % 3 == 0 ? "\xEF\xBB\xBF" : "");
    text += pick({"time,note,name", "name, Time ,note", "time"});
    text += end;
    for (int row = 0; row < 8; ++row) {
      for (int field = 0; field < 3; ++field) {
        if (field > 0) text += ',';
        const std::string quotes = "\"x\"\"y\"\"" + end + "z\"";
        text += pick({"1.5", " 2 ", "\"3.25\"", "\"a\nb\"", quotes, "", "0,5", "-.5", "q"});
      }
      const std::string blank = " " + end;
      text += pick({end, end + end, end + blank});
    }
    if (file % 5 == 4) text += "\"open" + end + "1";
    files.push_back(text);
  }
  return files;
}

// The same bytes read from memory and from a feed of every block size from 1
// to 40 bytes, and of short reads, tell the same.
TEST(TimesReader, FedInBlocksReadsAsFromMemory) {
  std::vector<std::string> files = GeneratedCsv();
  for (const ReadCase& c : kForms) files.push_back(c.bytes);
  files.push_back("\n\n\nTaps\n\n\n\n0.5\n");
  files.push_back(std::string(100, '\n') + "1\t2\tlong name " + std::string(90, 'n') + "\n\\\t1\t2\n3");
  for (const std::string& bytes : files) {
    TimesReader whole(bytes);
    const std::string expected = EverythingRead(whole);
    for (std::size_t block = 1; block <= 40; ++block) {
      PieceFeed feed(bytes, block % 7 == 0 ? 3 : block);
      TimesReader fed(feed, "TIMES", block);
      EXPECT_EQ(EverythingRead(fed), expected) << "block " << block << " of\n" << bytes;
    }
  }
}

TEST(TimesReader, FeedFailureIsTheError) {
  for (const std::string bytes : {"", "1\n2\n", "time,note\n1,\"a"}) {
    PieceFeed feed(bytes, 2, "Input/output error");
    TimesReader reader(feed, "hits.txt", 3);
    EXPECT_EQ(CheckTimes(reader), "hits.txt: Input/output error") << bytes;
  }
}

TEST(TimesText, ExactValues) {
  EXPECT_EQ(ExactTimeOf("-0.25"), Rational(-1) / Rational(4));
  EXPECT_EQ(ExactTimeOf(".5"), Rational(1) / Rational(2));
  EXPECT_EQ(ExactTimeOf("5."), Rational(5));
  EXPECT_EQ(ExactTimeOf("-0"), Rational(0));
  EXPECT_EQ(ExactTimeOf("0.1"), Rational(1) / Rational(10));
}

}  // namespace
}  // namespace beatmarks

namespace beatmarks {
namespace {

// With a frame rate, timecodes read in every form, as their frames' starts
// (shown to 9 decimals, kept exactly); a label drop-frame skips is refused.
TEST(TimesReader, TimecodesAtARate) {
  const std::pair<const char*, std::string> cases[] = {
      {"00:00:01;00\n00:01:00;02\n1.5\n", "1.001000000=1001/1000;60.060000000=3003/50;1.5;"},
      {"time,name\n00:00:00;01,x\n", "0.033366667=1001/30000;"},
      {"00:10:00;00\t00:10:00;00\tkick\n", "599.999400000=2999997/5000;"},
      {"1\n00:01:00;00\n", "TIMES line 2: '00:01:00;00' is not a time" + std::string(kTimeFormsWithTimecode)},
  };
  for (const auto& [bytes, read] : cases) {
    TimesReader reader(bytes);
    reader.ReadTimecodes(*TimecodeRateNamed("29.97df"));
    std::string text;
    for (TimedName time; reader.Next(time); text += ';') {
      text += time.time;
      if (time.exact) text += '=' + time.exact->numerator().ToDecimal() + '/' + time.exact->denominator().ToDecimal();
    }
    EXPECT_EQ(reader.error().empty() ? text : reader.error(), read) << bytes;
  }
}

}  // namespace
}  // namespace beatmarks
