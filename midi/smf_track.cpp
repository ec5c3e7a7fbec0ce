#include "midi/smf_track.h"

#include <algorithm>
#include <cstring>

namespace beatmarks {
namespace {

void AppendBig(std::string& out, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

// 7 bits a byte, most significant first, the high bit set on all but the last.
void AppendVarLength(std::string& out, std::uint64_t value) {
  char bytes[10];
  int n = 0;
  bytes[n++] = static_cast<char>(value & 0x7F);
  while (value >>= 7) bytes[n++] = static_cast<char>(0x80 | (value & 0x7F));
  while (n > 0) out += bytes[--n];
}

int VarLengthBytes(std::uint64_t value) {
  int n = 1;
  while (value >>= 7) ++n;
  return n;
}

}  // namespace

void AppendMidiHeader(std::string& out, int tracks, int ticksPerQuarter) {
  out += "MThd";
  AppendBig(out, 6, 4);
  AppendBig(out, 1, 2);
  AppendBig(out, static_cast<std::uint32_t>(tracks), 2);
  AppendBig(out, static_cast<std::uint32_t>(ticksPerQuarter), 2);
}

void AppendTrackHeader(std::string& out, std::uint32_t length) {
  out += "MTrk";
  AppendBig(out, length, 4);
}

void SmfTrack::Meta(std::uint64_t tick, std::uint8_t type, std::string_view data) {
  const std::uint64_t delta = tick - last_;
  last_ = tick;
  longest_ = std::max(longest_, delta);
  bytes_ += VarLengthBytes(delta) + 2 + VarLengthBytes(data.size()) + data.size();
  if (out_ == nullptr || delta > kMaxDeltaTicks) return;
  std::string& text = out_->text();
  AppendVarLength(text, delta);
  text += static_cast<char>(kMetaEvent);
  text += static_cast<char>(type);
  AppendVarLength(text, data.size());
  text += data;
  out_->Filled();
}

void SmfTrack::Tempo(std::uint64_t tick, std::uint32_t microsPerQuarter) {
  const char data[3] = {static_cast<char>(microsPerQuarter >> 16 & 0xFF),
                        static_cast<char>(microsPerQuarter >> 8 & 0xFF),
                        static_cast<char>(microsPerQuarter & 0xFF)};
  Meta(tick, kTempoEvent, std::string_view(data, 3));
}

void PlannedTrack::Meta(std::uint64_t tick, std::uint8_t type, std::string_view data) {
  count_.Meta(tick, type, data);
  if (!keep_) return;
  events_.push_back({tick, static_cast<std::uint32_t>(data_.size()), type});
  const auto size = static_cast<std::uint32_t>(data.size());
  data_.append(reinterpret_cast<const char*>(&size), sizeof size);
  data_.append(data);
}

void PlannedTrack::Tempo(std::uint64_t tick, std::uint32_t microsPerQuarter) {
  count_.Tempo(tick, microsPerQuarter);
  if (keep_) events_.push_back({tick, microsPerQuarter, kTempoEvent});
}

std::uint64_t PlannedTrack::Write(ExportFile& out) const {
  SmfTrack track(&out);
  for (const Event& e : events_) {
    if (e.type == kTempoEvent) {
      track.Tempo(e.tick, e.value);
      continue;
    }
    std::uint32_t size = 0;
    std::memcpy(&size, data_.data() + e.value, sizeof size);
    track.Meta(e.tick, e.type, std::string_view(data_).substr(e.value + sizeof size, size));
  }
  return track.bytes();
}

}  // namespace beatmarks
