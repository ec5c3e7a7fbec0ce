#pragma once

// The times to place on the grid (--locate=TIMES), in seconds on the
// recording's clock, in any of three forms, told apart by the first line that
// is not blank:
//  - one time a line;
//  - a label track as audio editors export it, "start<TAB>end<TAB>text": the
//    start of each label, its text kept as the name (a line that begins with
//    a backslash holds a label's frequency range and is passed over);
//  - CSV (RFC 4180, or with ';' between fields, where a time may have a
//    decimal comma) whose first row names a time column ("time", "time (s)",
//    "start", "onset" or "position", the first of these; else one of
//    milliseconds, "ms", "msec", "millis", "milliseconds", "time (ms)"), and
//    optionally a "name" or else a "label" column kept as the name (so the
//    program's own CSV reads back as it is); a header of one column is that
//    column, and one word before a line of times is such a header. A CSV
//    whose first field is a time has no header: its first column is the times.
// Mistakes people make are said for what they are: a decimal comma ("0,749",
// or a CSV row split there into two whole numbers).
// A time is a plain decimal, "-" allowed in front: "12", "0.25", ".5", "5.",
// "-1.5", taken exactly as written; or a clock time, "1:02.5", "1:00:02.5".
// Blank lines, a UTF-8 byte order mark and CR before LF are allowed; the
// order of the times is free.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/map_file.h"
#include "exact/rational.h"
#include "exact/timecode.h"

namespace beatmarks {

struct TimedName {
  std::string_view time;  // in seconds as a plain decimal: as written, without
                          // the spaces around it, or as read from another
                          // form (until the reader's next Next)
  std::string name;       // empty where TIMES gives none
  std::size_t line = 0;   // 1-based: the line the time is on
  // A timecode's time exactly, which `time` holds rounded to 9 decimals.
  std::optional<Rational> exact;
};

enum class TimesForm { kNumbers, kLabels, kCsv };

// Reads TIMES one time after another, without holding them: from bytes in
// memory, or from a feed a block at a time, holding only the line or CSV
// record being read (a longer one than a block is held whole).
class TimesReader {
 public:
  static constexpr std::size_t kBlock = 1 << 20;
  static constexpr std::size_t kFirstRead = 1 << 16;

  // `name`: the file's, as messages name it (ShownFileName).
  explicit TimesReader(std::string_view bytes, std::string name = "TIMES");
  // Reads from `feed` (which must outlive the reader), `block` bytes at a time.
  TimesReader(ByteFeed& feed, std::string name, std::size_t block = kBlock);

  // The next time; false at the end, or at a problem: then error() is one
  // line that says where and what ("hits.txt line 3: 'abc' is not a time").
  bool Next(TimedName& time);
  // Reads timecodes HH:MM:SS:FF at this rate too, each as its frame's start.
  void ReadTimecodes(const TimecodeRate& rate) { timecode_ = rate; }
  const std::string& error() const { return error_; }
  TimesForm form() const { return form_; }

  // For the other columns of a CSV, once Next has read the header: the first
  // column of that name, in any case, spaces and tabs around it let go; the
  // header's line.
  std::optional<std::size_t> Column(std::string_view name) const;
  std::size_t headerLine() const { return headerLine_; }
  // A field of the record Next last gave: a quoted one unquoted, another
  // without the spaces and tabs around it; empty past the end of the row.
  std::string Field(std::size_t column) const;

 private:
  struct Cell {
    std::size_t at = 0, size = 0;  // of its text (between the quotes of a quoted field)
    bool quoted = false;
  };

  bool Begin();
  bool Header();
  bool HeaderFollows();
  bool NextLine(std::string_view& line);
  bool NextNumber(TimedName& time);
  bool NextLabel(TimedName& time);
  bool NextRow(TimedName& time);
  bool ReadRecord();
  bool ReadField(Cell& field, std::size_t& at);
  bool Fail(std::size_t line, const std::string& what);
  bool NotATime(std::size_t line, std::string_view text);
  // Makes time.time plain seconds, or says why it is not a time.
  bool InSeconds(TimedName& time, std::size_t line, bool decimalComma);
  bool Headerless();
  // A time in any of the forms read.
  bool IsAnyTime(std::string_view text) const;
  // Whether the byte at `at` is there, reading more from the feed as needed.
  bool Has(std::size_t at) { return at < bytes_.size() || More(at); }
  bool More(std::size_t at);
  bool ReadFailed();
  // Lets go of the bytes before at_ (views into them were for the last time given).
  void Release();
  std::string_view Text(const Cell& cell) const { return bytes_.substr(cell.at, cell.size); }

  std::string_view bytes_;  // all of them, or the window_ of the feed's
  ByteFeed* feed_ = nullptr;
  std::string window_;
  std::size_t block_ = 0;
  bool ended_ = false;      // the feed gave its last byte
  std::string name_;
  std::size_t at_ = 0;
  std::size_t line_ = 0;  // lines read so far
  bool begun_ = false;
  bool any_ = false;      // a time was given
  TimesForm form_ = TimesForm::kNumbers;
  std::vector<Cell> fields_;  // the CSV record last read
  std::size_t recordLine_ = 0;
  std::vector<std::string> header_;  // the column names, trimmed
  std::size_t headerLine_ = 0;
  std::size_t timeColumn_ = 0;
  std::optional<std::size_t> nameColumn_;
  char separator_ = ',';
  bool milliseconds_ = false;  // the time column holds milliseconds
  std::string seconds_;        // a time read from another form
  std::optional<TimecodeRate> timecode_;
  std::string error_;
};

// The first problem of TIMES as one line, or empty when every time reads and
// there is at least one. Reads it all; holds nothing.
std::string CheckTimes(std::string_view bytes, std::string name = "TIMES");
std::string CheckTimes(TimesReader& reader);

// A file argument as messages name it: "standard input" for "-", else the
// name with each control character and stray byte a '?'.
std::string ShownFileName(const std::string& argument);

// Text without the spaces (and tabs, unless told not to) around it.
std::string_view TrimBlanks(std::string_view text, bool tabs = true);
// A text of the input as a message shows it: short (40 bytes, cut between
// characters), each control character and stray byte a '?'.
std::string ShownText(std::string_view text);

// True for "[-]digits[.digits]" with at least one digit ("5.", ".5").
bool IsTimeText(std::string_view text);
// The exact value of such a text.
Rational ExactTimeOf(std::string_view text);

}  // namespace beatmarks
