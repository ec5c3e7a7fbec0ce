#include "fit/beat_sources.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "audio/cue_chunks.h"
#include "core/map_file.h"
#include "files/spool_file.h"
#include "locate/times_reader.h"

namespace beatmarks {
namespace {

// A median interval longer than this is no beat: the times are milliseconds.
constexpr std::uint64_t kLongestBeat = 20;

// The reader's words are for times; a list of them holds beats.
std::string AsBeats(const std::string& timesError, const std::string& name) {
  if (timesError == name + " holds no times") return name + " holds no beats";
  return timesError;
}

// ticks / perSecond as a decimal without trailing zeros: exactly where
// perSecond is a power of ten, else to 19 decimals at most (beats added
// evenly make the ticks finer).
std::string DecimalOf(std::uint64_t ticks, std::uint64_t perSecond) {
  std::string text = std::to_string(ticks / perSecond), fraction;
  unsigned __int128 rest = ticks % perSecond;
  for (int digits = 0; rest > 0 && digits < 19; ++digits) {
    rest *= 10;
    fraction += static_cast<char>('0' + static_cast<int>(rest / perSecond));
    rest %= perSecond;
  }
  return fraction.empty() ? text : text + "." + fraction;
}

// The problem with times that look like milliseconds, or empty: more than
// half the intervals (the lower median) over kLongestBeat.
std::string Milliseconds(const BeatList& beats, const std::string& name) {
  const unsigned __int128 longest = static_cast<unsigned __int128>(kLongestBeat) * beats.ticksPerSecond;
  std::size_t over = 0;
  for (std::size_t k = 1; k < beats.size(); ++k) over += beats.ticks[k] - beats.ticks[k - 1] > longest;
  const std::size_t intervals = beats.size() - 1;
  if (over < intervals - (intervals - 1) / 2) return {};
  std::vector<std::uint64_t> d(intervals);
  for (std::size_t k = 0; k < intervals; ++k) d[k] = beats.ticks[k + 1] - beats.ticks[k];
  const auto middle = d.begin() + static_cast<std::ptrdiff_t>((intervals - 1) / 2);
  std::nth_element(d.begin(), middle, d.end());
  return name + ": the times look like milliseconds (a median of " + DecimalOf(*middle, beats.ticksPerSecond) +
         " s between beats); give seconds";
}

constexpr const char* kPlaceNames[3] = {"measure", "beat", "division"};
using PlaceColumns = std::array<std::optional<std::size_t>, 3>;

// The measure, beat and division columns a CSV's header names; false with the
// problem when it names a measure without a beat column or the other way round.
bool FindPlaceColumns(const TimesReader& reader, const std::string& name, PlaceColumns& columns,
                      std::string& error) {
  for (int k = 0; k < 3; ++k) columns[k] = reader.Column(kPlaceNames[k]);
  if (columns[0].has_value() == columns[1].has_value()) return true;
  const int given = columns[0] ? 0 : 1;
  error = name + " line " + std::to_string(reader.headerLine()) + ": the CSV header has a '" +
          kPlaceNames[given] + "' column but no '" + kPlaceNames[1 - given] + "' column";
  return false;
}

// The position on the row just read, "M.B" or "M.B.D" as a label writes it;
// false with the problem when its measure or beat is empty.
bool PlaceText(const TimesReader& reader, const PlaceColumns& columns, const BeatSource& source,
               std::string& text, std::string& error) {
  const std::string measure = reader.Field(*columns[0]), beat = reader.Field(*columns[1]);
  if (measure.empty() || beat.empty()) {
    error = source.Name() + (measure.empty() && beat.empty() ? ": the 'measure' and 'beat' fields are empty"
                             : measure.empty()              ? ": the 'measure' field is empty"
                                                            : ": the 'beat' field is empty");
    return false;
  }
  text = measure + '.' + beat;
  if (columns[2]) text += '.' + reader.Field(*columns[2]);
  return true;
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

}  // namespace

bool ReadBeatsText(std::string_view bytes, const BeatReading& how, BeatsRead& read, std::string& error) {
  const auto lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  TimesReader reader(bytes, how.name);
  return ReadBeatsText(reader, how, read, error, lines);
}

bool ReadBeatsText(TimesReader& reader, const BeatReading& how, BeatsRead& read, std::string& error,
                   std::size_t expected) {
  BeatListBuilder builder(how.meter, expected);
  builder.UseName(how.name);
  if (how.mend) builder.Mend(how.pickup, how.mostAdded);
  if (how.oneIsEnough) builder.AcceptOne();
  PlaceColumns columns;
  TimedName time;
  bool first = true;
  while (reader.Next(time)) {
    if (first && reader.form() == TimesForm::kCsv && !FindPlaceColumns(reader, how.name, columns, error)) {
      return false;
    }
    first = false;
    const BeatSource source{BeatSource::Kind::kLine, time.line, how.name};
    std::optional<BeatPlace> place;
    if (columns[0]) {
      std::string text;
      if (!PlaceText(reader, columns, source, text, error) || !PositionFor(text, true, place, source, error)) {
        return false;
      }
    } else if (!PositionFor(time.name, false, place, source, error)) {
      return false;
    }
    if (!builder.AddDecimal(time.time, place, source)) {
      error = builder.error();
      return false;
    }
  }
  if (!reader.error().empty()) {
    error = AsBeats(reader.error(), how.name);
    return false;
  }
  read.cuePoints = false;
  if (!builder.Finish(read.beats)) {
    error = builder.error();
    return false;
  }
  error = Milliseconds(read.beats, how.name);
  read.repairs = builder.repairs();
  return error.empty();
}

bool ReadCueBeats(const ByteSource& source, const BeatReading& how, BeatsRead& read, std::string& error) {
  WavLayout layout;
  CuePointsRead cues;
  if (!ReadWavLayout(source, layout, error) || !ReadCuePoints(source, layout, cues, error)) {
    if (error.rfind("Error: ", 0) == 0) error.erase(0, 7);
    if (!error.empty() && error.back() == '!') error.pop_back();
    error = how.name + ": " + error;
    return false;
  }
  read.cuesPastEnd = cues.pastEnd;
  if (cues.points.empty()) {
    error = how.name + " holds no cue points";
    return false;
  }
  BeatListBuilder builder(how.meter, cues.points.size());
  builder.UseName(how.name);
  if (how.mend) builder.Mend(how.pickup, how.mostAdded);
  if (how.oneIsEnough) builder.AcceptOne();
  builder.UseSamples(layout.sampleRate);
  for (const CuePoint& c : cues.points) {
    const BeatSource where{BeatSource::Kind::kCuePoint, c.id, how.name};
    std::optional<BeatPlace> place;
    if (!PositionFor(c.name, false, place, where, error)) return false;
    if (!builder.AddSample(c.sample, place, where)) {
      error = builder.error();
      return false;
    }
  }
  read.cuePoints = true;
  read.sampleRate = layout.sampleRate;
  if (builder.Finish(read.beats)) {
    read.repairs = builder.repairs();
    return true;
  }
  error = builder.error();
  return false;
}

namespace {

bool IsRiff(const ByteSource& source) {
  char head[4] = {};
  return source.Size() >= 12 && source.Read(0, head, sizeof head) &&
         (std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RF64", 4) == 0 ||
          std::memcmp(head, "RIFX", 4) == 0 || std::memcmp(head, "riff", 4) == 0);
}

// The first bytes of a stream, then the rest of it.
class HeadThenRest final : public ByteFeed {
 public:
  HeadThenRest(std::string_view head, ByteFeed& rest) : head_(head), rest_(rest) {}
  std::size_t Read(char* into, std::size_t size) override {
    if (head_.empty()) return rest_.Read(into, size);
    const std::size_t given = std::min(size, head_.size());
    std::memcpy(into, head_.data(), given);
    head_.remove_prefix(given);
    return given;
  }
  const std::string& Failure() const override { return rest_.Failure(); }

 private:
  std::string_view head_;
  ByteFeed& rest_;
};

// The first bytes of a stream, as many as tell a RIFF file (fewer at its end).
std::string HeadOf(ByteFeed& feed) {
  std::string head(12, '\0');
  std::size_t got = 0;
  while (got < head.size()) {
    const std::size_t more = feed.Read(head.data() + got, head.size() - got);
    if (more == 0) break;
    got += more;
  }
  head.resize(got);
  return head;
}

// Standard input or a pipe: a WAV file is kept in a file of its own and read
// where its chunks lie; text is read as it comes.
bool ReadBeatsStream(InputFile& input, const BeatReading& how, BeatsRead& read, std::string& error,
                     const std::string& name) {
  InputFeed feed = input.Feed();
  const std::string head = HeadOf(feed);
  if (!feed.Failure().empty()) {
    error = name + ": " + feed.Failure();
    return false;
  }
  if (IsRiff(MemorySource({reinterpret_cast<const std::uint8_t*>(head.data()), head.size()}))) {
    std::string reason;
    const int spool = SpoolToFile(input.fd(), head, reason);
    if (spool < 0) {
      error = name + ": " + reason;
      return false;
    }
    input.Adopt(spool);
    return ReadCueBeats(FileSource(spool), how, read, error);
  }
  HeadThenRest text(head, feed);
  TimesReader reader(text, how.name);
  return ReadBeatsText(reader, how, read, error);
}

}  // namespace

bool ReadBeatsFile(const std::string& name, const BeatReading& reading, BeatsRead& read, std::string& error) {
  BeatReading how = reading;
  how.name = ShownFileName(name);
  InputFile input;
  if (!input.Open(name)) {
    error = name + ": " + input.Reason();
    return false;
  }
  if (!input.Regular()) return ReadBeatsStream(input, how, read, error, name);
  // A WAV file of any size is read where its chunks lie, text as it comes.
  const FileSource source(input.fd());
  if (IsRiff(source)) return ReadCueBeats(source, how, read, error);
  InputFeed feed = input.Feed();
  TimesReader reader(feed, how.name);
  return ReadBeatsText(reader, how, read, error);
}

std::string CuesLeftOut(const BeatsRead& read) {
  if (read.cuesPastEnd == 0) return {};
  return std::to_string(read.cuesPastEnd) + (read.cuesPastEnd == 1 ? " cue point" : " cue points") +
         " past the end of the audio data left out";
}

}  // namespace beatmarks
