#include "core/read_map.h"

#include <string>
#include <string_view>

#include "core/input.h"
#include "core/map_cursor.h"
#include "core/map_file.h"
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

std::int32_t WrappingProduct(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

std::int32_t WrappingSum(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace

MapReadOutcome ReadMap(std::int32_t& sectionCount, std::int32_t& totalMeasures,
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

  totalBeats = 0;
  totalMeasures = 0;
  std::int32_t n = 0;
  MapCursor cursor(text);
  while (std::optional<std::string_view> keyword = cursor.Next(kKeywordSeparators)) {
    if (*keyword == "tmap") {
      tempo[n] = NextTempo(cursor);
      beatsPerMeasure[n] = NextInteger(cursor, kTab);
      measures[n] = NextInteger(cursor, kNewline);
      totalBeats += WrappingProduct(measures[n], beatsPerMeasure[n]);
      totalMeasures = WrappingSum(totalMeasures, measures[n]);
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
  Print("Read %i sections, %i measures, %i beats\n", n, totalMeasures,
              static_cast<std::int32_t>(totalBeats));
  return MapReadOutcome::kRead;
}

}  // namespace beatmarks
