#include "locate/times_reader.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "locate/time_forms.h"


namespace beatmarks {
namespace {

bool IsBlankByte(char c) { return c == ' ' || c == '\t'; }

bool IsBlank(std::string_view line) {
  for (char c : line) {
    if (!IsBlankByte(c)) return false;
  }
  return true;
}

bool SameWord(std::string_view text, std::string_view word) {
  auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (lower(text[i]) != lower(word[i])) return false;
  }
  return true;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "0,749", "-1,5": a time written with a decimal comma.
bool IsDecimalComma(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  const std::size_t comma = text.find(',');
  return comma != std::string_view::npos && AllDigits(text.substr(0, comma)) && AllDigits(text.substr(comma + 1));
}

// The names a time column goes by, the first one found taken; and those of
// a column of milliseconds, refused.
constexpr std::string_view kTimeNames[] = {"time", "time (s)", "time(s)", "start", "onset", "position"};
constexpr std::string_view kMillisecondNames[] = {"ms", "msec", "millis", "milliseconds", "time (ms)", "time(ms)"};

bool IsColumnName(std::string_view word) {
  for (std::string_view name : kTimeNames) {
    if (SameWord(word, name)) return true;
  }
  for (std::string_view name : kMillisecondNames) {
    if (SameWord(word, name)) return true;
  }
  return false;
}


// ';' between fields where the first line has one and its commas, if any,
// stand between digits (decimal commas, as a spreadsheet set to such a
// language writes them).
char SeparatorOf(std::string_view line) {
  if (line.find(';') == std::string_view::npos) return ',';
  for (std::size_t comma = line.find(','); comma != std::string_view::npos; comma = line.find(',', comma + 1)) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (comma == 0 || comma + 1 == line.size() || !digit(line[comma - 1]) || !digit(line[comma + 1])) return ',';
  }
  return ';';
}

// The text of a quoted CSV field, its doubled quotes made single.
void Unquote(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"') ++i;
  }
}

}  // namespace

TimesReader::TimesReader(std::string_view bytes, std::string name) : bytes_(bytes), name_(std::move(name)) {}

TimesReader::TimesReader(ByteFeed& feed, std::string name, std::size_t block)
    : feed_(&feed), block_(std::max<std::size_t>(block, 1)), name_(std::move(name)) {}

bool TimesReader::More(std::size_t at) {
  if (feed_ == nullptr) return false;
  while (!ended_ && at >= window_.size()) {
    // Short reads first, doubling to a block: a file of a few times does
    // not fill a whole block of memory.
    const std::size_t held = window_.size();
    const std::size_t ask = std::min(block_, std::max(kFirstRead, held));
    window_.resize(held + ask);
    const std::size_t got = feed_->Read(window_.data() + held, ask);
    window_.resize(held + got);
    ended_ = got == 0;
  }
  bytes_ = window_;
  return at < bytes_.size();
}

void TimesReader::Release() {
  // Only once a block has been read through, so that what is moved to the
  // front (less than a block, but for a longer line) costs little.
  if (feed_ == nullptr || at_ < block_) return;
  const std::size_t done = std::min(at_, window_.size());
  window_.erase(0, done);
  at_ -= done;
  bytes_ = window_;
}

bool TimesReader::Fail(std::size_t line, const std::string& what) {
  error_ = name_ + " line " + std::to_string(line) + ": " + what;
  at_ = bytes_.size();
  return false;
}

bool TimesReader::NotATime(std::size_t line, std::string_view text) {
  if (IsDecimalComma(text)) {
    std::string point(text);
    point[point.find(',')] = '.';
    std::string what(1, '\'');
    what += ShownText(text);
    what += "' has a decimal comma; write ";
    what += ShownText(point);
    return Fail(line, what);
  }
  std::string what(1, '\'');
  what += ShownText(text);
  what += "' is not a time";
  what += timecode_ ? kTimeFormsWithTimecode : kTimeFormsRead;
  return Fail(line, what);
}

// The next line without its end (LF, or CR LF); false at the end of the bytes.
bool TimesReader::NextLine(std::string_view& line) {
  if (!Has(at_)) return false;
  std::size_t end = bytes_.find('\n', at_);
  while (end == std::string_view::npos) {
    const std::size_t searched = bytes_.size();
    if (!More(searched)) {
      end = bytes_.size();
      break;
    }
    end = bytes_.find('\n', searched);
  }
  line = bytes_.substr(at_, end - at_);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  at_ = end + 1;
  ++line_;
  return true;
}

// Tells the form from the first line that is not blank, then goes back to it:
// for a CSV it is the header, read here.
bool TimesReader::Begin() {
  begun_ = true;
  if (Has(2) && bytes_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
  std::size_t start = at_, startLine = line_;
  std::string_view line;
  do {
    Release();
    start = at_;
    startLine = line_;
    if (!NextLine(line)) return true;  // nothing but blank lines
  } while (IsBlank(line));
  at_ = start;
  line_ = startLine;
  const std::string_view word = TrimBlanks(line);
  const char separator = SeparatorOf(line);
  if (IsAnyTime(word) || IsDecimalComma(word)) {
    form_ = TimesForm::kNumbers;
  } else if (line.find('\t') != std::string_view::npos) {
    form_ = TimesForm::kLabels;
  } else if (line.find_first_of(",;\"") != std::string_view::npos || IsColumnName(word) || HeaderFollows()) {
    separator_ = separator;
    // (HeaderFollows reads on, so `line` is not looked at after it.)
    form_ = TimesForm::kCsv;
    return Header();
  }
  return true;
}

// True when the line after the first (not blank) holds a time: the first,
// a word, is then the header of a column of times.
bool TimesReader::HeaderFollows() {
  const std::size_t at = at_, line = line_;
  std::string_view next;
  NextLine(next);
  bool time = false;
  while (NextLine(next)) {
    if (IsBlank(next)) continue;
    const std::string_view word = TrimBlanks(next);
    time = IsAnyTime(word) || IsDecimalComma(word);
    break;
  }
  at_ = at;
  line_ = line;
  return time;
}

// The CSV header: its time column, or the line that says why there is none.
bool TimesReader::Header() {
  const std::size_t at = at_, line = line_;
  if (!ReadRecord()) return false;
  if (const std::string first = Field(0); IsAnyTime(first) || (separator_ == ';' && IsDecimalComma(first))) {
    at_ = at;
    line_ = line;
    return Headerless();
  }
  headerLine_ = recordLine_;
  for (const Cell& cell : fields_) header_.emplace_back(TrimBlanks(Text(cell)));
  std::optional<std::size_t> time;
  for (std::string_view name : kTimeNames) {
    if (!time) time = Column(name);
  }
  for (std::string_view name : kMillisecondNames) {
    if (time) break;
    time = Column(name);
    milliseconds_ = time.has_value();
  }
  if (!time) {
    if (header_.size() != 1) return Fail(headerLine_, "the CSV header has no 'time' column");
    time = 0;
  }
  timeColumn_ = *time;
  nameColumn_ = Column("name");
  if (!nameColumn_) nameColumn_ = Column("label");
  if (nameColumn_ == timeColumn_) nameColumn_.reset();
  return true;
}

// A CSV that begins with a row of data (as Sonic Visualiser exports its
// layers): the times are its first column, and no other column has a name.
bool TimesReader::Headerless() {
  header_.assign(fields_.size(), std::string());
  timeColumn_ = 0;
  return true;
}

std::optional<std::size_t> TimesReader::Column(std::string_view name) const {
  for (std::size_t i = 0; i < header_.size(); ++i) {
    if (SameWord(header_[i], name)) return i;
  }
  return std::nullopt;
}

std::string TimesReader::Field(std::size_t column) const {
  if (column >= fields_.size()) return {};
  const Cell& cell = fields_[column];
  if (!cell.quoted) return std::string(TrimBlanks(Text(cell)));
  std::string text;
  Unquote(Text(cell), text);
  return text;
}

bool TimesReader::Next(TimedName& time) {
  if (!error_.empty()) return false;
  if (!begun_ && !Begin()) {
    ReadFailed();
    return false;
  }
  bool read = false;
  switch (form_) {
    case TimesForm::kNumbers: read = NextNumber(time); break;
    case TimesForm::kLabels: read = NextLabel(time); break;
    case TimesForm::kCsv: read = NextRow(time); break;
  }
  if (ReadFailed()) return false;
  if (read) {
    any_ = true;
  } else if (error_.empty() && !any_) {
    error_ = name_ + " holds no times";
  }
  return read;
}

// A feed that failed ends the reading with its reason, whatever the bytes
// before it seemed to say.
bool TimesReader::ReadFailed() {
  if (feed_ == nullptr || feed_->Failure().empty()) return false;
  error_ = name_ + ": " + feed_->Failure();
  return true;
}

bool TimesReader::NextNumber(TimedName& time) {
  std::string_view line;
  do {
    Release();
    if (!NextLine(line)) return false;
  } while (IsBlank(line));
  time.time = TrimBlanks(line);
  time.name.clear();
  time.line = line_;
  return InSeconds(time, line_, false);
}

bool TimesReader::NextLabel(TimedName& time) {
  std::string_view line;
  do {
    Release();
    if (!NextLine(line)) return false;
  } while (IsBlank(line) || line.front() == '\\');
  const std::size_t tab = line.find('\t');
  time.time = TrimBlanks(line.substr(0, tab), false);
  time.name.clear();
  if (tab != std::string_view::npos) {
    const std::size_t text = line.find('\t', tab + 1);
    if (text != std::string_view::npos) time.name = line.substr(text + 1);
  }
  time.line = line_;
  return InSeconds(time, line_, false);
}

bool TimesReader::NextRow(TimedName& time) {
  do {
    Release();
    if (!Has(at_)) return false;
    if (!ReadRecord()) return false;
  } while (fields_.size() == 1 && !fields_[0].quoted && IsBlank(Text(fields_[0])));
  time.line = recordLine_;
  time.name.clear();
  if (timeColumn_ >= fields_.size()) return NotATime(recordLine_, "");
  const Cell& field = fields_[timeColumn_];
  time.time = field.quoted ? Text(field) : TrimBlanks(Text(field));
  // More fields than the header, the time and the next whole numbers: a
  // decimal comma split the time.
  if (separator_ == ',' && fields_.size() > header_.size() && timeColumn_ + 1 < fields_.size() && !field.quoted &&
      !fields_[timeColumn_ + 1].quoted) {
    std::string split(time.time);
    split += ',';
    split += TrimBlanks(Text(fields_[timeColumn_ + 1]));
    if (IsDecimalComma(split)) return NotATime(recordLine_, split);
  }
  if (nameColumn_ && *nameColumn_ < fields_.size()) {
    const Cell& name = fields_[*nameColumn_];
    if (name.quoted) {
      Unquote(Text(name), time.name);
    } else {
      time.name = Text(name);
    }
  }
  return InSeconds(time, recordLine_, separator_ == ';');
}

bool TimesReader::IsAnyTime(std::string_view text) const {
  return IsTimeText(text) || ClockSeconds(text).has_value() ||
         (timecode_ && ParseTimecode(text, *timecode_).has_value());
}

bool TimesReader::InSeconds(TimedName& time, std::size_t line, bool decimalComma) {
  std::string_view text = time.time;
  time.exact.reset();
  std::string pointed;
  if (decimalComma && IsDecimalComma(text)) {
    pointed = text;
    pointed[pointed.find(',')] = '.';
    text = pointed;
  }
  if (IsTimeText(text)) {
    if (!milliseconds_ && pointed.empty()) return true;
    seconds_ = milliseconds_ ? MillisecondsAsSeconds(text) : pointed;
  } else if (std::optional<std::string> clock = ClockSeconds(text)) {
    seconds_ = std::move(*clock);
  } else if (const auto frame = timecode_ ? ParseTimecode(text, *timecode_) : std::nullopt) {
    time.exact = FrameStart(*frame, *timecode_);
    seconds_.clear();
    AppendSecondsAt(*time.exact, 9, seconds_);
  } else {
    return NotATime(line, time.time);
  }
  time.time = seconds_;
  return true;
}

std::string CheckTimes(TimesReader& reader) {
  TimedName time;
  while (reader.Next(time)) {
  }
  return reader.error();
}

std::string CheckTimes(std::string_view bytes, std::string name) {
  TimesReader reader(bytes, std::move(name));
  return CheckTimes(reader);
}

}  // namespace beatmarks
