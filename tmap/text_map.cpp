#include "tmap/text_map.h"

#include <cstring>
#include <optional>
#include <string>

#include "core/capacity.h"
#include "core/map_file.h"
#include "core/number_scan.h"
#include "tmap/map_cursor.h"

namespace beatmarks {
namespace {

constexpr std::string_view kKeywordSeparators = "\t\n";
constexpr std::string_view kTab = "\t";
constexpr std::string_view kNewline = "\n";

// A value that is missing at the end of the text counts as 0.
std::int32_t NextInteger(MapCursor& cursor, std::string_view separators) {
  std::optional<std::string_view> token = cursor.Next(separators);
  return token ? DecimalInt32(*token) : 0;
}

// The tempo of section n; where the map keeps them, its exact text too.
void NextTempo(MapCursor& cursor, const MapRef& m, std::int32_t n) {
  std::optional<std::string_view> token = cursor.Next(kTab);
  m.tempo[n] = token ? MapTempo(*token) : 0.0f;
  if (m.tempoText != nullptr) (*m.tempoText)[n] = token ? MapTempoText(*token) : "";
}

// Totals are exact; only a map of millions of huge sections could pass the
// 64-bit range, and there they hold at its end.
std::int64_t SaturatingSum(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? INT64_MAX : INT64_MIN;
}

// The map's text, without a UTF-8 byte order mark that an editor put first.
std::string_view WithoutByteOrderMark(std::string_view text) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (text.substr(0, kMark.size()) == kMark) text.remove_prefix(kMark.size());
  return text;
}

// A section's name: the text before its `tmap` on the same line.
std::string_view NameBefore(std::string_view other, std::string_view keyword) {
  if (other.empty()) return {};
  std::string_view between(other.data() + other.size(),
                           static_cast<std::size_t>(keyword.data() - (other.data() + other.size())));
  return between.find('\n') == std::string_view::npos ? other : std::string_view();
}

// rate, div, start and stop take the rest of their line; false for a word
// that is no keyword.
bool ReadSetting(std::string_view keyword, MapCursor& cursor, const SettingsRef& s) {
  if (keyword == "rate") {
    s.sampleRate = NextInteger(cursor, kNewline);
  } else if (keyword == "div") {
    s.divisions = NextInteger(cursor, kNewline);
  } else if (keyword == "start") {
    s.startMeasure = MeasureIndex(NextInteger(cursor, kNewline));
  } else if (keyword == "stop") {
    s.stopMeasure = MeasureIndex(NextInteger(cursor, kNewline));
  } else {
    return false;
  }
  return true;
}

}  // namespace

TextMapRead ParseTextMap(std::string_view bytes, const MapRef& m, const SettingsRef& settings) {
  std::string_view text = bytes.substr(0, ::strnlen(bytes.data(), bytes.size()));
  m.totalBeats = 0;
  m.totalMeasures = 0;
  std::int32_t n = 0;
  std::int64_t sectionLines = 0;
  MapCursor cursor(WithoutByteOrderMark(text));
  std::string_view other;  // the last token that was no keyword
  while (std::optional<std::string_view> keyword = cursor.Next(kKeywordSeparators)) {
    if (*keyword == "tmap") {
      if (m.names != nullptr) (*m.names)[n] = std::string(NameBefore(other, *keyword));
      NextTempo(cursor, m, n);
      m.beatsPerMeasure[n] = NextInteger(cursor, kTab);
      m.measures[n] = NextInteger(cursor, kNewline);
      m.totalBeats = SaturatingSum(m.totalBeats, std::int64_t{m.measures[n]} * m.beatsPerMeasure[n]);
      m.totalMeasures = SaturatingSum(m.totalMeasures, m.measures[n]);
      ++sectionLines;
      if (n < kMaxSectionsRead) ++n;
    } else if (!ReadSetting(*keyword, cursor, settings)) {
      other = *keyword;
      continue;
    }
    other = {};
  }
  m.sectionCount = n;
  return {sectionLines};
}

bool HasSectionLine(std::string_view bytes) {
  MapCursor cursor(WithoutByteOrderMark(bytes.substr(0, ::strnlen(bytes.data(), bytes.size()))));
  while (std::optional<std::string_view> word = cursor.Next(kKeywordSeparators)) {
    if (*word == "tmap") return true;
  }
  return false;
}

}  // namespace beatmarks
