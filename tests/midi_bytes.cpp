#include "midi_bytes.h"

namespace beatmarks::testing {

std::string VarLength(std::uint32_t value) {
  std::string bytes(1, char(value & 0x7F));
  while (value >>= 7) bytes.insert(bytes.begin(), char(0x80 | (value & 0x7F)));
  return bytes;
}

std::string BigEndian(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i) out += char(value >> (8 * i) & 0xFF);
  return out;
}

std::string Chunk(std::string_view type, std::string_view body) {
  return std::string(type) + BigEndian(std::uint32_t(body.size()), 4) + std::string(body);
}

std::string MidiHeader(int format, int tracks, int division) {
  return Chunk("MThd", BigEndian(format, 2) + BigEndian(tracks, 2) + BigEndian(division, 2));
}

TrackBytes& TrackBytes::Raw(std::uint32_t delta, std::string_view event) {
  events_ += VarLength(delta);
  events_ += event;
  return *this;
}

TrackBytes& TrackBytes::Meta(std::uint32_t delta, int type, std::string_view data) {
  std::string event(1, '\xFF');
  event += char(type);
  event += VarLength(std::uint32_t(data.size()));
  event += data;
  return Raw(delta, event);
}

TrackBytes& TrackBytes::Tempo(std::uint32_t delta, std::uint32_t micros) {
  return Meta(delta, 0x51, BigEndian(micros, 3));
}

TrackBytes& TrackBytes::Meter(std::uint32_t delta, int numerator, int power, int clocks) {
  return Meta(delta, 0x58, std::string{char(numerator), char(power), char(clocks), 8});
}

TrackBytes& TrackBytes::End(std::uint32_t delta) { return Meta(delta, 0x2F, ""); }

std::string TrackBytes::Chunk() const { return testing::Chunk("MTrk", events_); }

}  // namespace beatmarks::testing
