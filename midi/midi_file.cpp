#include "midi/midi_file.h"

#include <algorithm>
#include <limits>
#include <iterator>

#include "midi/smf_events.h"

namespace beatmarks {
namespace {

// Thrown inside the reader; ReadMidi turns it into the error line.
struct MidiError {
  std::string line;
};

[[noreturn]] void Fail(std::string line) { throw MidiError{std::move(line)}; }

std::string Hex(unsigned byte) {
  const char* digits = "0123456789ABCDEF";
  return std::string("0x") + digits[(byte >> 4) & 15] + digits[byte & 15];
}

// What goes wrong while reading bytes; the caller says where.
enum class ReadFault { kOverrun, kLongNumber };

// Reads big-endian numbers, variable-length numbers and runs of bytes from a
// span of the file.
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  bool AtEnd() const { return pos_ == bytes_.size(); }
  std::size_t Left() const { return bytes_.size() - pos_; }

  std::uint8_t Byte() {
    if (AtEnd()) throw ReadFault::kOverrun;
    return static_cast<std::uint8_t>(bytes_[pos_++]);
  }

  std::uint32_t Big(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | Byte();
    return value;
  }

  // 7 bits a byte, the high bit set on all but the last byte.
  std::uint32_t VarLength() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      std::uint8_t b = Byte();
      value = value << 7 | (b & 0x7F);
      if (b < 0x80) return value;
    }
    throw ReadFault::kLongNumber;
  }

  std::string_view Take(std::size_t count) {
    if (count > Left()) throw ReadFault::kOverrun;
    std::string_view part = bytes_.substr(pos_, count);
    pos_ += count;
    return part;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// Data bytes that follow a channel message's status byte.
int DataBytes(std::uint8_t status) {
  int kind = status >> 4;
  return kind == 0xC || kind == 0xD ? 1 : 2;
}

struct TrackContext {
  int number;  // 1-based among the MTrk chunks
  std::uint64_t tick = 0;

  std::string Where() const {
    return "track " + std::to_string(number) + ", tick " + std::to_string(tick) + ": ";
  }
};

class TrackReader {
 public:
  TrackReader(std::string_view body, int number, MidiMap& map)
      : in_(body), at_{number}, map_(map) {}

  // Reads events up to the end of track (or of the chunk when the track has
  // none) and returns the track's last tick.
  std::uint64_t Read() {
    try {
      return ReadEvents();
    } catch (ReadFault fault) {
      Fail(at_.Where() + (fault == ReadFault::kOverrun
                              ? "event runs past the end of its chunk"
                              : "variable-length number longer than 4 bytes"));
    }
  }

 private:
  std::uint64_t ReadEvents() {
    while (!in_.AtEnd()) {
      Advance(in_.VarLength());
      std::uint8_t b = in_.Byte();
      if (b == kMetaEvent) {
        if (Meta()) return at_.tick;
      } else if (b == 0xF0 || b == 0xF7) {
        status_ = 0;  // system exclusive cancels running status
        in_.Take(in_.VarLength());
      } else if (b >= 0xF0) {
        Fail(at_.Where() + "unexpected status byte " + Hex(b));
      } else if (b >= 0x80) {
        status_ = b;
        in_.Take(DataBytes(b));
      } else if (status_ == 0) {
        Fail(at_.Where() + "data byte " + Hex(b) + " without a running status");
      } else {
        in_.Take(DataBytes(status_) - 1);
      }
    }
    return at_.tick;
  }

  void Advance(std::uint32_t delta) {
    // Deltas are below 2^28 and take a byte each at least, so this needs
    // files of many gigabytes; it keeps the sum exact all the same.
    if (delta > std::numeric_limits<std::uint64_t>::max() - at_.tick) {
      Fail(at_.Where() + "ticks run past 2^64");
    }
    at_.tick += delta;
  }

  // A meta event after its FF; true at the end of track.
  bool Meta() {
    status_ = 0;  // meta events cancel running status
    std::uint8_t type = in_.Byte();
    std::string_view data = in_.Take(in_.VarLength());
    if (type == kEndOfTrackEvent) return true;
    if (type == kTempoEvent) Tempo(data);
    if (type == kTimeSignatureEvent) Meter(data);
    if (type == kMarkerEvent) map_.markers.push_back({at_.tick, std::string(data)});
    if (type == kTrackNameEvent && at_.number == 1 && !named_) {
      map_.trackName = std::string(data);
      named_ = true;
    }
    return false;
  }

  static unsigned U8(std::string_view data, std::size_t i) {
    return static_cast<std::uint8_t>(data[i]);
  }

  void Tempo(std::string_view data) {
    if (data.size() != 3) {
      Fail(at_.Where() + "tempo event of " + std::to_string(data.size()) +
           " bytes, not 3");
    }
    std::uint32_t micros = U8(data, 0) << 16 | U8(data, 1) << 8 | U8(data, 2);
    if (micros == 0) Fail(at_.Where() + "tempo of 0 microseconds per quarter note");
    if (map_.tempos.empty()) ReserveTempos();
    map_.tempos.push_back({at_.tick, micros});
  }

  // Room, up front, for as many tempo events as the track's bytes left could
  // hold (7 bytes each at least), up to a million: a long map's tempos are
  // then not copied as they grow. Pages never written cost nothing.
  void ReserveTempos() {
    constexpr std::size_t kLeastBytes = 7, kMost = std::size_t{1} << 20;
    map_.tempos.reserve(std::min(in_.Left() / kLeastBytes + 1, kMost));
  }

  void Meter(std::string_view data) {
    if (data.size() != 4) {
      Fail(at_.Where() + "time signature of " + std::to_string(data.size()) +
           " bytes, not 4");
    }
    MidiMeter m{at_.tick, static_cast<int>(U8(data, 0)), static_cast<int>(U8(data, 1)),
                static_cast<int>(U8(data, 2))};
    if (m.numerator == 0) Fail(at_.Where() + "time signature of 0 beats");
    if (m.denominatorPower > kMaxDenominatorPower) {
      Fail(at_.Where() + "time signature denominator 2^" +
           std::to_string(m.denominatorPower) + " (at most 2^" +
           std::to_string(kMaxDenominatorPower) + ")");
    }
    map_.meters.push_back(m);
  }

  ByteReader in_;
  TrackContext at_;
  MidiMap& map_;
  std::uint8_t status_ = 0;  // running status, 0 when there is none
  bool named_ = false;       // the track's name is read
};

// Sorts changes read in file order by tick, keeps the last one read at each
// tick, and puts the default at tick 0 when the file sets nothing there.
template <class Change>
void MergeByTick(std::vector<Change>& changes, const Change& fallback) {
  const auto byTick = [](const Change& a, const Change& b) { return a.tick < b.tick; };
  // A map's changes are nearly always read in order already.
  if (!std::is_sorted(changes.begin(), changes.end(), byTick)) {
    std::stable_sort(changes.begin(), changes.end(), byTick);
  }
  auto kept = changes.begin();
  for (auto c = changes.begin(); c != changes.end(); ++c) {
    if (kept != changes.begin() && std::prev(kept)->tick == c->tick) {
      *std::prev(kept) = *c;
    } else {
      *kept++ = *c;
    }
  }
  changes.erase(kept, changes.end());
  if (changes.empty() || changes.front().tick != 0) changes.insert(changes.begin(), fallback);
}

struct Header {
  int format;
  int trackCount;
  int ticksPerQuarter;
};

// The bytes of the chunk at the reader's position, after its type and length.
std::string_view ChunkBody(ByteReader& file, std::size_t at, std::string_view& type) {
  if (file.Left() < 8) Fail("truncated chunk header at byte " + std::to_string(at));
  type = file.Take(4);
  std::uint32_t length = file.Big(4);
  if (length > file.Left()) {
    std::string name = type == "MThd" || type == "MTrk" ? std::string(type) : "unknown";
    Fail("truncated " + name + " chunk at byte " + std::to_string(at) + ": " +
         std::to_string(length) + " bytes announced, " + std::to_string(file.Left()) +
         " present");
  }
  return file.Take(length);
}

Header ReadHeader(ByteReader& file) {
  std::string_view type;
  std::string_view body = ChunkBody(file, 0, type);
  if (body.size() < 6) {
    Fail("MThd chunk of " + std::to_string(body.size()) + " bytes, fewer than 6");
  }
  ByteReader in(body);
  Header h{static_cast<int>(in.Big(2)), static_cast<int>(in.Big(2)),
           static_cast<int>(in.Big(2))};
  if (h.format == 2) Fail("format 2 (independent patterns) is not supported");
  if (h.format > 2) Fail("unknown format " + std::to_string(h.format));
  if (h.ticksPerQuarter & 0x8000) {
    Fail("SMPTE time division is not supported, only ticks per quarter note");
  }
  if (h.ticksPerQuarter == 0) Fail("time division of 0 ticks per quarter note");
  return h;
}

MidiMap ReadFile(std::string_view bytes) {
  if (!IsMidiFile(bytes)) Fail("not a MIDI file (it does not start with MThd)");
  ByteReader file(bytes);
  Header header = ReadHeader(file);
  MidiMap map{header.format, header.ticksPerQuarter, {}, {}, 0};
  int tracks = 0;
  while (!file.AtEnd()) {
    std::string_view type;
    std::string_view body = ChunkBody(file, bytes.size() - file.Left(), type);
    if (type == "MTrk") {
      map.endTick = std::max(map.endTick, TrackReader(body, ++tracks, map).Read());
    }
  }
  if (tracks == 0) Fail("no MTrk chunk");
  if (tracks < header.trackCount) {
    Fail("the header announces " + std::to_string(header.trackCount) +
         " tracks, the file holds " + std::to_string(tracks));
  }
  map.tempoGiven = !map.tempos.empty();
  map.meterGiven = !map.meters.empty();
  MergeByTick(map.tempos, MidiTempo{0, kDefaultMicrosPerQuarter});
  MergeByTick(map.meters, MidiMeter{0, 4, 2, 24});
  std::stable_sort(map.markers.begin(), map.markers.end(),
                   [](const MidiMarker& a, const MidiMarker& b) { return a.tick < b.tick; });
  return map;
}

}  // namespace

bool IsMidiFile(std::string_view bytes) { return bytes.substr(0, 4) == "MThd"; }

std::optional<MidiMap> ReadMidi(std::string_view bytes, std::string& error) {
  try {
    return ReadFile(bytes);
  } catch (const MidiError& e) {
    error = e.line;
    return std::nullopt;
  }
}

}  // namespace beatmarks
