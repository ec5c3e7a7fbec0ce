#include "core/read_map.h"

#include <cstring>
#include <string>
#include <string_view>

#include "core/input.h"
#include "core/map_cursor.h"
#include "core/map_file.h"
#include "core/midi_file.h"
#include "core/midi_sections.h"
#include "core/number_scan.h"
#include "core/output.h"
#include "core/prompt_name.h"

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

float NextTempo(MapCursor& cursor) {
  std::optional<std::string_view> token = cursor.Next(kTab);
  return token ? MapTempo(*token) : 0.0f;
}

// Totals are exact; only a map of millions of huge sections could pass the
// 64-bit range, and there they hold at its end.
std::int64_t SaturatingSum(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? INT64_MAX : INT64_MIN;
}

// The count line shows the totals as they have always been shown: in 32 bits.
std::int32_t Wrapped32(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

// The map's text, without a UTF-8 byte order mark that an editor put first.
std::string_view WithoutByteOrderMark(std::string_view text) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (text.substr(0, kMark.size()) == kMark) text.remove_prefix(kMark.size());
  return text;
}

void ReportCounts(std::int32_t sections, std::int64_t totalMeasures, std::int64_t totalBeats) {
  Print("Read %i sections, %i measures, %i beats\n", sections, Wrapped32(totalMeasures),
        Wrapped32(totalBeats));
}

}  // namespace

MapReadOutcome ReadMap(std::int32_t& sectionCount, std::int64_t& totalMeasures,
                       std::int64_t& totalBeats, TempoArray& tempo, CountArray& measures,
                       CountArray& beatsPerMeasure, NameBuffer& mapFileName,
                       std::int32_t& sampleRate, std::int32_t& divisions, bool batch,
                       std::int32_t& startMeasure, std::int32_t& stopMeasure) {
  if (!batch && !PromptForName("Enter name of tempo map file", mapFileName)) {
    return MapReadOutcome::kNoFileName;
  }
  std::string text;
  MapFileStatus status = LoadMapFile(mapFileName.data(), text);
  if (status != MapFileStatus::kLoaded) {
    Print(status == MapFileStatus::kTooLarge ? "Error: Tempo map file too large!\n"
                                                   : "File not found!\n");
    return MapReadOutcome::kNotRead;
  }
  if (IsMidiFile(text)) {
    std::string error;
    if (!MidiToSections(text, sectionCount, totalMeasures, totalBeats, tempo, measures,
                        beatsPerMeasure, error)) {
      Print("Error: %s: %s\n", mapFileName.data(), error.c_str());
      return MapReadOutcome::kNotRead;
    }
    ReportCounts(sectionCount, totalMeasures, totalBeats);
    return MapReadOutcome::kRead;
  }
  text.resize(::strnlen(text.c_str(), text.size()));  // the text ends at a zero byte

  totalBeats = 0;
  totalMeasures = 0;
  std::int32_t n = 0;
  std::int64_t sectionLines = 0;
  MapCursor cursor(WithoutByteOrderMark(text));
  while (std::optional<std::string_view> keyword = cursor.Next(kKeywordSeparators)) {
    if (*keyword == "tmap") {
      tempo[n] = NextTempo(cursor);
      beatsPerMeasure[n] = NextInteger(cursor, kTab);
      measures[n] = NextInteger(cursor, kNewline);
      totalBeats = SaturatingSum(totalBeats, std::int64_t{measures[n]} * beatsPerMeasure[n]);
      totalMeasures = SaturatingSum(totalMeasures, measures[n]);
      ++sectionLines;
      if (n < kMaxSectionsRead) ++n;
    } else if (*keyword == "rate") {
      sampleRate = NextInteger(cursor, kNewline);
    } else if (*keyword == "div") {
      divisions = NextInteger(cursor, kNewline);
    } else if (*keyword == "start") {
      startMeasure = MeasureIndex(NextInteger(cursor, kNewline));
    } else if (*keyword == "stop") {
      stopMeasure = MeasureIndex(NextInteger(cursor, kNewline));
    }
  }
  sectionCount = n;
  ReportCounts(n, totalMeasures, totalBeats);
  if (sectionLines > kMaxSectionsRead) {
    Print("Warning: only %i sections are kept; the map has %lli\n", kMaxSectionsRead,
          static_cast<long long>(sectionLines));
  }
  return MapReadOutcome::kRead;
}

}  // namespace beatmarks
