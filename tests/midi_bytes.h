#pragma once

// Standard MIDI File bytes for tests and benchmarks, written out by hand.

#include <cstdint>
#include <string>
#include <string_view>

namespace beatmarks::testing {

std::string VarLength(std::uint32_t value);
std::string BigEndian(std::uint32_t value, int bytes);
std::string Chunk(std::string_view type, std::string_view body);
std::string MidiHeader(int format, int tracks, int division);

// A track's events in order, each after its delta time.
class TrackBytes {
 public:
  TrackBytes& Raw(std::uint32_t delta, std::string_view event);
  TrackBytes& Meta(std::uint32_t delta, int type, std::string_view data);
  TrackBytes& Tempo(std::uint32_t delta, std::uint32_t micros);
  TrackBytes& Meter(std::uint32_t delta, int numerator, int power, int clocks);
  TrackBytes& End(std::uint32_t delta);
  std::string Chunk() const;

 private:
  std::string events_;
};

}  // namespace beatmarks::testing
