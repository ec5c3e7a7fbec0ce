#pragma once

// One track of a Standard MIDI File, event by event in tick order: counted
// (its size and its longest delta time, to refuse a file before any byte is
// written) or written to an export; or planned, its events kept to be
// written later.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "files/export_file.h"
#include "midi/smf_events.h"

namespace beatmarks {

// The most a delta time holds (four bytes of seven bits).
inline constexpr std::uint64_t kMaxDeltaTicks = 0x0FFFFFFF;

// The header chunk of a format 1 file of `tracks` tracks and `ticksPerQuarter`
// ticks a quarter note, and the header of a track chunk of `length` bytes.
void AppendMidiHeader(std::string& out, int tracks, int ticksPerQuarter);
void AppendTrackHeader(std::string& out, std::uint32_t length);
inline constexpr std::uint64_t kMidiHeaderBytes = 14, kTrackHeaderBytes = 8;

class SmfTrack {
 public:
  // Writes to `out`, or only counts with nullptr.
  explicit SmfTrack(ExportFile* out) : out_(out) {}

  // A meta event at `tick`, at or after the tick of the event before.
  // Deltas past kMaxDeltaTicks are counted (see longestDelta), not written.
  void Meta(std::uint64_t tick, std::uint8_t type, std::string_view data);
  void Tempo(std::uint64_t tick, std::uint32_t microsPerQuarter);

  std::uint64_t bytes() const { return bytes_; }
  std::uint64_t longestDelta() const { return longest_; }

 private:
  ExportFile* out_;
  std::uint64_t last_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint64_t longest_ = 0;
};

// A track planned in tick order and written later: counted as SmfTrack
// counts it and, when kept, each event held in 16 bytes (a meta event's data
// in one string beside them).
class PlannedTrack {
 public:
  explicit PlannedTrack(bool keep) : keep_(keep) {}

  void Meta(std::uint64_t tick, std::uint8_t type, std::string_view data);
  void Tempo(std::uint64_t tick, std::uint32_t microsPerQuarter);

  std::uint64_t bytes() const { return count_.bytes(); }
  std::uint64_t longestDelta() const { return count_.longestDelta(); }
  std::uint64_t events() const { return events_.size(); }
  // The events kept, in order; the bytes written (the same as bytes()).
  std::uint64_t Write(ExportFile& out) const;

 private:
  struct Event {
    std::uint64_t tick;
    std::uint32_t value;  // a tempo, or where a meta event's length and data begin in data_
    std::uint8_t type;
  };
  SmfTrack count_{nullptr};
  bool keep_;
  std::vector<Event> events_;
  std::string data_;
};

}  // namespace beatmarks
