#include "fit/beat_sources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
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

// The lines of BEATS come in TIMES's words from the reader; they are BEATS here.
std::string AsBeats(const std::string& timesError) {
  if (timesError == "TIMES holds no times") return "BEATS holds no beats";
  return timesError.rfind("TIMES", 0) == 0 ? "BEATS" + timesError.substr(5) : timesError;
}

constexpr const char* kPlaceNames[3] = {"measure", "beat", "division"};
using PlaceColumns = std::array<std::optional<std::size_t>, 3>;

// The measure, beat and division columns a CSV's header names; false with the
// problem when it names a measure without a beat column or the other way round.
bool FindPlaceColumns(const TimesReader& reader, PlaceColumns& columns, std::string& error) {
  for (int k = 0; k < 3; ++k) columns[k] = reader.Column(kPlaceNames[k]);
  if (columns[0].has_value() == columns[1].has_value()) return true;
  const int given = columns[0] ? 0 : 1;
  error = "BEATS line " + std::to_string(reader.headerLine()) + ": the CSV header has a '" +
          kPlaceNames[given] + "' column but no '" + kPlaceNames[1 - given] + "' column";
  return false;
}

// The position on the row just read, "M.B" or "M.B.D" as a label writes it.
std::string PlaceText(const TimesReader& reader, const PlaceColumns& columns) {
  std::string text = reader.Field(*columns[0]) + '.' + reader.Field(*columns[1]);
  if (columns[2]) text += '.' + reader.Field(*columns[2]);
  return text;
}

// The position a label or a row gives, or the line that says why it is none.
bool PositionFor(std::string_view text, bool required, std::optional<BeatPlace>& place,
                 const BeatSource& source, std::string& error) {
  std::string problem;
  text = TrimBlanks(text);
  place = PositionOf(text, problem);
  if (!problem.empty()) {
    error = source.Name() + ": '" + ShownText(text) + "' is no beat: " + problem;
    return false;
  }
  if (!place && required) {
    error = source.Name() + ": '" + ShownText(text) + "' is not a position M.B";
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
  PlaceColumns columns;
  TimedName time;
  bool first = true;
  while (reader.Next(time)) {
    if (first && reader.form() == TimesForm::kCsv && !FindPlaceColumns(reader, columns, error)) {
      return false;
    }
    first = false;
    const BeatSource source{BeatSource::Kind::kLine, time.line};
    std::optional<BeatPlace> place;
    if (columns[0]) {
      if (!PositionFor(PlaceText(reader, columns), true, place, source, error)) return false;
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
