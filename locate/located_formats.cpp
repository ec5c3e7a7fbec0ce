#include "locate/located_formats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <optional>

#include "core/text_encoding.h"
#include "exact/exact_time.h"
#include "locate/times_reader.h"

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

void AppendInteger(std::int64_t value, std::string& out) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// The digits of value, written backwards from `end`; returns where they begin.
char* PutDigits(u128 value, char* end) {
  while (value > UINT64_MAX) {
    *--end = static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  }
  auto small = static_cast<std::uint64_t>(value);  // far quicker to divide
  do {
    *--end = static_cast<char>('0' + static_cast<int>(small % 10));
    small /= 10;
  } while (small != 0);
  return end;
}

// A rounded magnitude in units of 1/scale as decimal digits: from its 128
// bits in `buffer`, or a wide one in full in `wide`.
std::string_view DigitsOf(const Position& p, u128 rounded, std::uint32_t scale, char (&buffer)[40],
                          std::string& wide) {
  if (p.wide) return wide = RoundedMagnitude(*p.wide, scale).ToDecimal();
  return {PutDigits(rounded, std::end(buffer)), std::end(buffer)};
}

// A count of 10^-decimals seconds, given as its digits, as a decimal.
void AppendUnits(std::string_view digits, std::size_t decimals, std::string& out) {
  if (digits.size() <= decimals) {
    out += "0.";
    out.append(decimals - digits.size(), '0');
    out += digits;
    return;
  }
  out += digits.substr(0, digits.size() - decimals);
  out += '.';
  out += digits.substr(digits.size() - decimals);
}

// A signed rounded value: a minus when early, a plus on request when late,
// neither when it rounded to zero.
void AppendSign(const Position& p, std::string_view digits, bool plus, std::string& out) {
  if (digits == "0") return;
  if (p.early) {
    out += '-';
  } else if (plus) {
    out += '+';
  }
}

void AppendSeconds(const Position& p, int decimals, bool plus, std::string& out) {
  char buffer[40];
  std::string wide;
  const std::string_view digits = decimals == 6 ? DigitsOf(p, p.micros, 1000000, buffer, wide)
                                                : DigitsOf(p, p.nanos, 1000000000, buffer, wide);
  AppendSign(p, digits, plus, out);
  AppendUnits(digits, static_cast<std::size_t>(decimals), out);
}

void AppendSamples(const Position& p, std::uint32_t rate, std::string& out) {
  char buffer[40];
  std::string wide;
  const std::string_view digits = DigitsOf(p, p.samples, rate, buffer, wide);
  AppendSign(p, digits, false, out);
  out += digits;
}

void AppendIntoBeat(const Position& p, std::string& out) {
  char buffer[40];
  AppendUnits({PutDigits(p.intoBeat, std::end(buffer)), std::end(buffer)}, 6, out);
}

// "M.B", or "M.B.D" with more than one division per beat.
void AppendNearest(const Position& p, std::int32_t divisions, std::int64_t first,
                   std::string& out) {
  AppendInteger(p.nearestMeasure + first, out);
  out += '.';
  AppendInteger(p.nearestBeat + 1, out);
  if (divisions > 1) {
    out += '.';
    AppendInteger(p.nearestDivision + 1, out);
  }
}

const char* WhereWord(Position::Where where) {
  switch (where) {
    case Position::Where::kBefore: return "before";
    case Position::Where::kAfter: return "after";
    case Position::Where::kIn: break;
  }
  return "in";
}

bool NeedsQuotes(std::string_view text) {
  for (const char c : text) {
    if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
  }
  return false;
}

void AppendCsvField(std::string_view text, std::string& out) {
  if (!NeedsQuotes(text)) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// A time as TIMES wrote it ("5.", ".5", "007") made a JSON number, exactly.
void AppendJsonTime(std::string_view text, std::string& out) {
  if (!text.empty() && text.front() == '-') {
    out += '-';
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
  out += whole.empty() ? std::string_view("0") : whole;
  if (!fraction.empty()) {
    out += '.';
    out += fraction;
  }
}

// Room for a place whose numbers fit machine integers, with its JSON keys.
constexpr std::size_t kPlaceRoom = 384;

char* PutLead(std::string_view text, char* at) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

// AppendUnits into a line.
char* PutUnits(std::string_view digits, std::size_t decimals, char* at) {
  if (digits.size() <= decimals) {
    at = PutLead("0.", at);
    std::memset(at, '0', decimals - digits.size());
    return PutLead(digits, at + (decimals - digits.size()));
  }
  at = PutLead(digits.substr(0, digits.size() - decimals), at);
  *at++ = '.';
  return PutLead(digits.substr(digits.size() - decimals), at);
}

class RowWriter {
 public:
  RowWriter(LocatedFormat format, std::int32_t divisions, const LocateSettings& settings)
      : format_(format), divisions_(divisions), settings_(settings) {
    for (const auto& section : settings.sections) starts_.push_back(NearestDouble(section.first));
  }

  void Begin(std::string& out) const {
    if (format_ == LocatedFormat::kCsv) {
      out += "time,where,measure,beat,into_beat,nearest,deviation,deviation_frames,name";
      out += settings_.sections.empty() ? "\r\n" : ",section\r\n";
    } else if (format_ == LocatedFormat::kJson) {
      out += "{\"sampleRate\":";
      AppendInteger(settings_.rate, out);
      out += ",\"divisions\":";
      AppendInteger(divisions_, out);
      out += ",\"offset\":";
      // As the beats' JSON writes it: JSON has no infinity, 1e999 reads back as one.
      char digits[32];
      const double offset = NearestDouble(settings_.offset);
      if (std::isfinite(offset)) {
        out.append(digits, std::to_chars(digits, digits + sizeof digits, offset).ptr);
      } else {
        out += "1e999";
      }
      out += ",\n\"times\":[";
    }
  }

  void Row(const TimedName& time, const Position& p, std::string& out) {
    switch (format_) {
      case LocatedFormat::kCsv: Csv(time, p, out); break;
      case LocatedFormat::kLabels: Label(time, p, out); break;
      case LocatedFormat::kJson: Json(time, p, out); break;
    }
  }

  void End(std::string& out) const {
    if (format_ == LocatedFormat::kJson) out += "]}\n";
  }

 private:
  // The place of a time whose deviation fits 128 bits, into a line of
  // kPlaceRoom bytes: as AppendPlace writes it.
  char* PutPlace(const Position& p, const std::string_view (&leads)[6], char* at) const {
    const std::int64_t first = settings_.firstMeasureNumber;
    at = PutLead(leads[0], at);
    at = std::to_chars(at, at + 24, p.measure + first).ptr;
    at = PutLead(leads[1], at);
    at = std::to_chars(at, at + 24, p.beat + 1).ptr;
    at = PutLead(leads[2], at);
    char buffer[40];
    at = PutUnits({PutDigits(p.intoBeat, std::end(buffer)), std::end(buffer)}, 6, at);
    at = PutLead(leads[3], at);
    at = std::to_chars(at, at + 24, p.nearestMeasure + first).ptr;
    *at++ = '.';
    at = std::to_chars(at, at + 24, p.nearestBeat + 1).ptr;
    if (divisions_ > 1) {
      *at++ = '.';
      at = std::to_chars(at, at + 24, p.nearestDivision + 1).ptr;
    }
    at = PutLead(leads[4], at);
    const std::string_view nanos{PutDigits(p.nanos, std::end(buffer)), std::end(buffer)};
    if (p.early && nanos != "0") *at++ = '-';
    at = PutUnits(nanos, 9, at);
    at = PutLead(leads[5], at);
    const std::string_view samples{PutDigits(p.samples, std::end(buffer)), std::end(buffer)};
    if (p.early && samples != "0") *at++ = '-';
    return PutLead(samples, at);
  }

  // Where a time inside the map falls, in the order CSV and JSON both give:
  // measure, beat, into the beat, nearest division, deviation in seconds and
  // in samples, each after its lead (a comma, or a JSON key).
  void AppendPlace(const Position& p, const std::string_view (&leads)[6], std::string& out) const {
    if (!p.wide) {
      char line[kPlaceRoom];
      out.append(line, PutPlace(p, leads, line));
      return;
    }
    const std::int64_t first = settings_.firstMeasureNumber;
    out += leads[0];
    AppendInteger(p.measure + first, out);
    out += leads[1];
    AppendInteger(p.beat + 1, out);
    out += leads[2];
    AppendIntoBeat(p, out);
    out += leads[3];
    AppendNearest(p, divisions_, first, out);
    out += leads[4];
    AppendSeconds(p, 9, false, out);
    out += leads[5];
    AppendSamples(p, settings_.rate, out);
  }

  void Csv(const TimedName& time, const Position& p, std::string& out) const {
    AppendCsvField(time.time, out);
    out += ',';
    out += WhereWord(p.where);
    if (p.where == Position::Where::kIn) {
      static constexpr std::string_view kCommas[] = {",", ",", ",", ",", ",", ","};
      AppendPlace(p, kCommas, out);
      out += ',';
    } else {
      out += ",,,,,,,";
    }
    AppendCsvField(time.name, out);
    if (!settings_.sections.empty()) {
      out += ',';
      if (p.where == Position::Where::kIn) AppendCsvField(SectionOf(time.time), out);
    }
    out += "\r\n";
  }

  void Label(const TimedName& time, const Position& p, std::string& out) const {
    out += time.time;
    out += '\t';
    out += time.time;
    out += '\t';
    if (p.where == Position::Where::kIn) {
      AppendNearest(p, divisions_, settings_.firstMeasureNumber, out);
      out += ' ';
      AppendSeconds(p, 6, true, out);
      out += " s";
    } else {
      out += WhereWord(p.where);
    }
    out += '\n';
  }

  void Json(const TimedName& time, const Position& p, std::string& out) {
    out += first_ ? "\n{\"time\":" : ",\n{\"time\":";
    first_ = false;
    AppendJsonTime(time.time, out);
    out += ",\"where\":\"";
    out += WhereWord(p.where);
    out += '"';
    if (p.where == Position::Where::kIn) {
      static constexpr std::string_view kKeys[] = {",\"measure\":",  ",\"beat\":",      ",\"intoBeat\":",
                                              ",\"nearest\":\"", "\",\"deviation\":", ",\"deviationSamples\":"};
      AppendPlace(p, kKeys, out);
      if (!settings_.sections.empty()) {
        out += ",\"section\":";
        AppendJsonString(out, SectionOf(time.time));
      }
    }
    if (!time.name.empty()) {
      out += ",\"name\":";
      AppendJsonString(out, time.name);
    }
    out += '}';
  }

  // The name of the section the time lies in. Nearest doubles keep the
  // order of the exact values, so only a start of the same double as the
  // time takes an exact comparison (a section's start may have a
  // denominator of thousands of bits).
  const std::string& SectionOf(std::string_view time) const {
    const auto& sections = settings_.sections;
    double near = 0;
    std::from_chars(time.data(), time.data() + time.size(), near);
    std::optional<Rational> at;
    const auto before = [&](std::size_t i) {
      if (near != starts_[i]) return near < starts_[i];
      if (!at) at = ExactTimeOf(time);
      return *at < sections[i].first;
    };
    std::size_t low = 0, high = sections.size();  // the first section after the time
    while (low < high) {
      const std::size_t middle = low + (high - low) / 2;
      if (before(middle)) {
        high = middle;
      } else {
        low = middle + 1;
      }
    }
    return low == 0 ? sections.front().second : sections[low - 1].second;
  }

  const LocatedFormat format_;
  const std::int32_t divisions_;
  const LocateSettings& settings_;
  std::vector<double> starts_;  // the sections' starts as their nearest doubles
  bool first_ = true;
};

}  // namespace

bool WriteLocated(LocatedFormat format, TimesReader& times, const GridIndex& grid, const LocateSettings& settings,
                  ExportFile& out, std::string& error) {
  RowWriter rows(format, grid.divisions(), settings);
  rows.Begin(out.text());
  TimedName time;
  while (times.Next(time)) {
    rows.Row(time, time.exact ? grid.LocateExact(*time.exact, settings.rate) : grid.Locate(time.time, settings.rate),
             out.text());
    out.Filled();
  }
  error = times.error();
  if (!error.empty()) return false;
  rows.End(out.text());
  return true;
}

bool WriteLocated(LocatedFormat format, std::string_view times, const GridIndex& grid,
                  const LocateSettings& settings, ExportFile& out, std::string& error) {
  error = CheckTimes(times);
  if (!error.empty()) return false;
  TimesReader reader(times);
  return WriteLocated(format, reader, grid, settings, out, error);
}

}  // namespace beatmarks
