#include "fit/beat_sources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <vector>

#include "core/map_file.h"
#include "locate/times_reader.h"

namespace beatmarks {
namespace {

std::uint32_t Le32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return std::uint32_t{u[0]} | std::uint32_t{u[1]} << 8 | std::uint32_t{u[2]} << 16 |
         std::uint32_t{u[3]} << 24;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool SameWord(std::string_view text, std::string_view word) {
  return text.size() == word.size() &&
         std::equal(text.begin(), text.end(), word.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

// A text of BEATS as a message shows it: short, and printable.
std::string Shown(std::string_view text) {
  constexpr std::size_t kLongest = 40;
  std::string shown;
  for (char c : text.substr(0, kLongest)) shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
  return text.size() > kLongest ? shown + "..." : shown;
}

// The lines of BEATS come in TIMES's words from the reader; they are BEATS here.
std::string AsBeats(const std::string& timesError) {
  if (timesError == "TIMES holds no times") return "BEATS holds no beats";
  return timesError.rfind("TIMES", 0) == 0 ? "BEATS" + timesError.substr(5) : timesError;
}

// The records of a CSV, split as TimesReader splits them (RFC 4180: quoted
// fields may hold commas, doubled quotes and line ends), for the columns it
// does not read. Run beside it, both come to the same records.
class CsvRecords {
 public:
  explicit CsvRecords(std::string_view bytes) : bytes_(bytes) {
    if (bytes_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
  }

  // The header: the first line that is not blank.
  bool Header() {
    while (at_ < bytes_.size()) {
      std::size_t end = bytes_.find('\n', at_);
      if (end == std::string_view::npos) end = bytes_.size();
      std::string_view line = bytes_.substr(at_, end - at_);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (!Trim(line).empty()) return Read();
      at_ = end + 1;
      ++line_;
    }
    return false;
  }

  // The next record that is not a blank line.
  bool Next() {
    do {
      if (at_ >= bytes_.size() || !Read()) return false;
    } while (fields_.size() == 1 && !quoted_[0] && Trim(fields_[0]).empty());
    return true;
  }

  std::size_t size() const { return fields_.size(); }
  std::string_view Field(std::size_t i) const {
    return i < fields_.size() ? (quoted_[i] ? fields_[i] : Trim(fields_[i])) : std::string_view();
  }
  std::size_t line() const { return recordLine_; }

 private:
  bool Read() {
    fields_.clear();
    quoted_.clear();
    recordLine_ = line_ + 1;
    const std::size_t size = bytes_.size();
    while (true) {
      std::size_t at = at_;
      while (at < size && bytes_[at] == ' ') ++at;
      if (at < size && bytes_[at] == '"') {
        const std::size_t start = ++at;
        for (;; ++at) {
          if (at >= size) return false;
          if (bytes_[at] == '\n') ++line_;
          if (bytes_[at] != '"') continue;
          if (at + 1 < size && bytes_[at + 1] == '"') {
            ++at;
            continue;
          }
          break;
        }
        fields_.push_back(bytes_.substr(start, at - start));
        quoted_.push_back(true);
        while (at < size && bytes_[at] != ',' && bytes_[at] != '\n') ++at;
      } else {
        while (at < size && bytes_[at] != ',' && bytes_[at] != '\n') ++at;
        std::string_view text = bytes_.substr(at_, at - at_);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        fields_.push_back(text);
        quoted_.push_back(false);
      }
      if (at < size && bytes_[at] == ',') {
        at_ = at + 1;
        continue;
      }
      at_ = at < size ? at + 1 : size;
      ++line_;
      return true;
    }
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
  std::size_t line_ = 0;
  std::size_t recordLine_ = 0;
  std::vector<std::string_view> fields_;
  std::vector<bool> quoted_;
};

// The measure, beat and division columns of a CSV of beats.
class PlaceColumns {
 public:
  explicit PlaceColumns(std::string_view bytes) : records_(bytes) {}

  // Reads the header; false with the problem when it names a measure
  // without a beat column or the other way round.
  bool Begin(std::string& error) {
    if (!records_.Header()) return true;
    for (std::size_t i = 0; i < records_.size(); ++i) {
      const std::string_view name = Trim(records_.Field(i));
      for (int k = 0; k < 3; ++k) {
        if (!column_[k] && SameWord(name, kNames[k])) column_[k] = i;
      }
    }
    if (column_[0].has_value() != column_[1].has_value()) {
      error = "BEATS line " + std::to_string(records_.line()) + ": the CSV header has a '" +
              kNames[column_[0] ? 0 : 1] + "' column but no '" + kNames[column_[0] ? 1 : 0] + "' column";
      return false;
    }
    return true;
  }

  bool Given() const { return column_[0].has_value(); }

  // The position on the next row, "M.B" or "M.B.D" as a label writes it.
  bool Next(std::size_t line, std::string& text) {
    if (!records_.Next() || records_.line() != line) return false;
    text.assign(records_.Field(*column_[0]));
    text += '.';
    text += records_.Field(*column_[1]);
    if (column_[2]) {
      text += '.';
      text += records_.Field(*column_[2]);
    }
    return true;
  }

 private:
  static constexpr const char* kNames[3] = {"measure", "beat", "division"};
  CsvRecords records_;
  std::optional<std::size_t> column_[3];
};

// The position a label or a row gives, or the line that says why it is none.
bool PositionFor(std::string_view text, bool required, std::optional<BeatPlace>& place,
                 const BeatSource& source, std::string& error) {
  std::string problem;
  text = Trim(text);
  place = PositionOf(text, problem);
  if (!problem.empty()) {
    error = source.Name() + ": '" + Shown(text) + "' is no beat: " + problem;
    return false;
  }
  if (!place && required) {
    error = source.Name() + ": '" + Shown(text) + "' is not a position M.B";
    return false;
  }
  return true;
}

struct CuePoint {
  std::uint32_t id = 0;
  std::uint32_t sample = 0;
};

bool ReadBody(const ByteSource& source, const RiffChunk& chunk, std::string& body) {
  body.resize(chunk.size);
  return source.Read(chunk.BodyOffset(), body.data(), body.size());
}

// The labl entries of a LIST/adtl body: cue id and text.
void ReadLabels(const std::string& body, std::vector<std::pair<std::uint32_t, std::string>>& labels) {
  for (std::size_t at = 4; at + 8 <= body.size();) {
    const std::uint32_t size = Le32(body.data() + at + 4);
    if (size > body.size() - at - 8) break;
    if (body.compare(at, 4, "labl") == 0 && size >= 4) {
      const char* text = body.data() + at + 12;
      labels.emplace_back(Le32(body.data() + at + 8), std::string(text, strnlen(text, size - 4)));
    }
    at += 8 + std::uint64_t{size} + (size & 1);
  }
}

}  // namespace

bool ReadBeatsText(std::string_view bytes, std::int32_t meter, BeatsRead& read, std::string& error) {
  const auto lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  BeatListBuilder builder(meter, lines);
  TimesReader reader(bytes);
  PlaceColumns columns(bytes);
  TimedName time;
  std::string label;
  bool first = true;
  while (reader.Next(time)) {
    if (first && reader.form() == TimesForm::kCsv && !columns.Begin(error)) return false;
    first = false;
    const BeatSource source{BeatSource::Kind::kLine, time.line};
    std::optional<BeatPlace> place;
    if (columns.Given()) {
      if (!columns.Next(time.line, label)) {
        error = source.Name() + ": the row could not be read again";
        return false;
      }
      if (!PositionFor(label, true, place, source, error)) return false;
    } else if (!PositionFor(time.name, false, place, source, error)) {
      return false;
    }
    if (!builder.AddDecimal(time.time, place, source)) {
      error = builder.error();
      return false;
    }
  }
  if (!reader.error().empty()) {
    error = AsBeats(reader.error());
    return false;
  }
  read.cuePoints = false;
  if (builder.Finish(read.beats)) return true;
  error = builder.error();
  return false;
}

bool ReadCueBeats(const ByteSource& source, std::int32_t meter, BeatsRead& read, std::string& error) {
  WavLayout layout;
  if (!ReadWavLayout(source, layout, error)) {
    if (error.rfind("Error: ", 0) == 0) error.erase(0, 7);
    if (!error.empty() && error.back() == '!') error.pop_back();
    error = "BEATS: " + error;
    return false;
  }
  std::vector<CuePoint> cues;
  std::vector<std::pair<std::uint32_t, std::string>> labels;
  bool cueRead = false;
  ChunkWalker walker(source);
  std::string body;
  for (RiffChunk chunk; walker.Next(chunk);) {
    const bool cue = chunk.id == MakeFourCc("cue ") && !cueRead;
    const bool adtl = chunk.id == MakeFourCc("LIST") && chunk.listType == MakeFourCc("adtl");
    if (!cue && !adtl) continue;
    if (!ReadBody(source, chunk, body)) {
      error = "BEATS: the WAV file could not be read";
      return false;
    }
    if (adtl) {
      ReadLabels(body, labels);
      continue;
    }
    cueRead = true;
    const std::uint64_t count = body.size() >= 4 ? Le32(body.data()) : 0;
    if (body.size() < 4 || (body.size() - 4) / 24 < count) {
      error = "BEATS: the cue chunk is too short for its " + std::to_string(count) + " cue points";
      return false;
    }
    cues.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
      const char* p = body.data() + 4 + 24 * i;
      cues.push_back({Le32(p), Le32(p + 20)});  // dwName, dwSampleOffset
    }
  }
  if (cues.empty()) {
    error = "BEATS holds no cue points";
    return false;
  }
  std::sort(labels.begin(), labels.end());
  std::stable_sort(cues.begin(), cues.end(),
                   [](const CuePoint& a, const CuePoint& b) { return a.sample < b.sample; });
  BeatListBuilder builder(meter, cues.size());
  builder.UseSamples(layout.sampleRate);
  for (const CuePoint& c : cues) {
    const BeatSource where{BeatSource::Kind::kCuePoint, c.id};
    auto label = std::lower_bound(labels.begin(), labels.end(), std::make_pair(c.id, std::string()));
    const std::string_view name =
        label != labels.end() && label->first == c.id ? std::string_view(label->second) : "";
    std::optional<BeatPlace> place;
    if (!PositionFor(name, false, place, where, error)) return false;
    if (!builder.AddSample(c.sample, place, where)) {
      error = builder.error();
      return false;
    }
  }
  read.cuePoints = true;
  read.sampleRate = layout.sampleRate;
  if (builder.Finish(read.beats)) return true;
  error = builder.error();
  return false;
}

bool ReadBeatsFile(const std::string& name, std::int32_t meter, BeatsRead& read, std::string& error) {
  // Non-blocking, so that a pipe with no writer is refused rather than waited on.
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) ::close(fd);
    error = "BEATS file " + name + " not found";
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  FileSource source(fd);
  char head[4] = {};
  const bool riff = source.Size() >= 12 && source.Read(0, head, sizeof head) &&
                    (std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RF64", 4) == 0 ||
                     std::memcmp(head, "RIFX", 4) == 0 || std::memcmp(head, "riff", 4) == 0);
  if (riff) return ReadCueBeats(source, meter, read, error);
  if (source.Size() > static_cast<std::uint64_t>(kMaxMapFileSize)) {
    error = "BEATS file " + name + " is too large (" + std::to_string(kMaxMapFileSize >> 20) +
            " MiB at most)";
    return false;
  }
  std::string bytes(source.Size(), '\0');
  if (!source.Read(0, bytes.data(), bytes.size())) {
    error = "BEATS file " + name + " could not be read";
    return false;
  }
  return ReadBeatsText(bytes, meter, read, error);
}

}  // namespace beatmarks
