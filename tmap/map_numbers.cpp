#include "tmap/map_numbers.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/number_scan.h"
#include "tmap/map_cursor.h"

namespace beatmarks {
namespace {

constexpr std::string_view kKeywordSeparators = "\t\n";
constexpr std::string_view kTab = "\t";
constexpr std::string_view kNewline = "\n";
constexpr std::array<std::string_view, 4> kSettings = {"rate", "div", "start", "stop"};

bool OnlySpace(TextSource& in) {
  SkipSpace(in);
  return in.Peek(0) == -1;
}

// Plain digits, the usual value, without the scanners' work.
bool PlainDigits(std::string_view value) {
  return !value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos;
}

bool WholeInteger(std::string_view value) {
  if (PlainDigits(value)) return true;
  TextSource in(value);
  return ScanInteger(in, IntegerForm::kDecimal) && OnlySpace(in);
}

bool WholeDecimal(std::string_view value) {
  if (PlainDigits(value)) return true;
  TextSource in(value);
  return ScanDecimal(in) && OnlySpace(in);
}

// A value read on the keyword's own line (cut where that line ends); nothing
// for one the reader would take from a later line, or from nowhere, or once
// an earlier value ran to the line's end.
std::optional<std::string_view> SameLineValue(MapCursor& cursor, std::string_view separators,
                                              std::string_view keyword, bool& lineEnded) {
  if (lineEnded) return std::nullopt;
  std::optional<std::string_view> value = cursor.Next(separators);
  if (!value) return std::nullopt;
  const std::string_view before(keyword.data(), static_cast<std::size_t>(value->data() - keyword.data()));
  if (before.find('\n') != std::string_view::npos) return std::nullopt;
  if (const std::size_t end = value->find('\n'); end != std::string_view::npos) {
    lineEnded = true;
    *value = value->substr(0, end);
    if (value->find_first_not_of(" \t\r\v\f") == std::string_view::npos) return std::nullopt;
  }
  return value;
}

std::string NotANumber(std::string_view value) {
  constexpr std::size_t kShown = 40;  // a value may be the rest of a long line
  std::string shown(value.substr(0, kShown));
  if (value.size() > kShown) shown += "...";
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  std::string reason(1, '\'');
  reason.append(shown).append("' is not a number");
  return reason;
}

// The reason a tmap line is misread, or "".
std::string TmapProblem(MapCursor& cursor, std::string_view keyword) {
  const std::array<std::string_view, 3> separators = {kTab, kTab, kNewline};
  bool lineEnded = false;
  for (std::size_t i = 0; i < separators.size(); ++i) {
    std::optional<std::string_view> value = SameLineValue(cursor, separators[i], keyword, lineEnded);
    if (!value) {
      std::string reason = "the tmap line has ";
      reason.append(std::to_string(i)).append(" of its 3 values (tempo, beats per measure, measures)");
      return reason;
    }
    if (!(i == 0 ? WholeDecimal(*value) : WholeInteger(*value))) return NotANumber(*value);
  }
  return "";
}

// The reason a rate, div, start or stop line is misread, or "".
std::string SettingProblem(MapCursor& cursor, std::string_view keyword) {
  bool lineEnded = false;
  std::optional<std::string_view> value = SameLineValue(cursor, kNewline, keyword, lineEnded);
  if (!value) {
    std::string reason(1, '\'');
    reason.append(keyword).append("' has no value");
    return reason;
  }
  return WholeInteger(*value) ? "" : NotANumber(*value);
}

std::int64_t LineOf(std::string_view text, std::string_view token) {
  const auto before = static_cast<std::size_t>(token.data() - text.data());
  return 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(before), '\n');
}

}  // namespace

std::optional<MapNumberFault> FirstNumberFault(std::string_view bytes) {
  std::string_view text = bytes.substr(0, ::strnlen(bytes.data(), bytes.size()));
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  MapCursor cursor(text.substr(0, 3) == kByteOrderMark ? text.substr(3) : text);
  while (std::optional<std::string_view> keyword = cursor.Next(kKeywordSeparators)) {
    std::string reason;
    if (*keyword == "tmap") {
      reason = TmapProblem(cursor, *keyword);
    } else if (std::find(kSettings.begin(), kSettings.end(), *keyword) != kSettings.end()) {
      reason = SettingProblem(cursor, *keyword);
    }
    if (!reason.empty()) return MapNumberFault{LineOf(text, *keyword), reason};
  }
  return std::nullopt;
}

}  // namespace beatmarks
