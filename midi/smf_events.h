#pragma once

// The bytes of Standard MIDI File events that the reader and the writer share.

#include <cstdint>

namespace beatmarks {

inline constexpr std::uint8_t kMetaEvent = 0xFF;

// Meta event types.
inline constexpr std::uint8_t kTrackNameEvent = 0x03;
inline constexpr std::uint8_t kMarkerEvent = 0x06;
inline constexpr std::uint8_t kEndOfTrackEvent = 0x2F;
inline constexpr std::uint8_t kTempoEvent = 0x51;
inline constexpr std::uint8_t kTimeSignatureEvent = 0x58;

}  // namespace beatmarks
