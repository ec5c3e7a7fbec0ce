#pragma once

// SMPTE timecode: the frame of a video that a time falls in, its
// HH:MM:SS:FF label, and the label read back.
//
// A time is on the frame that is showing when it happens: frame
// floor(time x rate), the frame whose span [start, next start) holds it.
// That is the frame a video editor shows with the playhead parked on the
// sound, and a cut made on it starts with the beat's own frame. (Rounding to
// the nearest frame would put a beat on a frame that has not begun yet when
// the beat falls in its second half.)
//
// Labels count `nominal` frames a second (24, 25 or 30). At 29.97 and 23.976
// the frames run slower than the labels, so the labels drift from the clock;
// 29.97 drop-frame skips the labels ;00 and ;01 of every minute but every
// tenth, which keeps it within a few frames of the clock. Hours go on past
// 23 rather than wrap to 00: two beats a day apart keep labels of their own.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "exact/big_int.h"
#include "exact/exact_time.h"
#include "exact/rational.h"

namespace beatmarks {

struct TimecodeRate {
  const char* name;            // as --timecode takes it: "29.97df"
  std::uint32_t numerator;     // frames a second: numerator / denominator
  std::uint32_t denominator;
  std::uint32_t nominal;       // frames a label's second counts
  bool drop;                   // drop-frame labels ("HH:MM:SS;FF")

  friend bool operator==(const TimecodeRate&, const TimecodeRate&) = default;
};

// The rates by name: 24, 25, 29.97, 29.97df, 30, 23.976; nothing for another.
std::optional<TimecodeRate> TimecodeRateNamed(std::string_view name);
inline constexpr const char* kTimecodeRateNames = "24, 25, 29.97, 29.97df, 30 or 23.976";

struct TimecodeFields {
  std::uint64_t hours = 0;
  std::uint32_t minutes = 0, seconds = 0, frames = 0;
  friend bool operator==(const TimecodeFields&, const TimecodeFields&) = default;
};

// The label of a frame (counted from 0 at 00:00:00:00), and back. A label
// that drop-frame skips has no frame: FrameOfFields takes valid labels.
TimecodeFields FieldsOfFrame(std::uint64_t frame, const TimecodeRate& rate);
std::uint64_t FrameOfFields(const TimecodeFields& fields, const TimecodeRate& rate);

// "HH:MM:SS:FF", or "HH:MM:SS;FF" for drop-frame, hours of two digits or
// more. PutTimecode writes at most kLongestTimecode bytes.
inline constexpr std::size_t kLongestTimecode = 32;
char* PutTimecode(char* at, std::uint64_t frame, const TimecodeRate& rate);
std::string TimecodeText(std::uint64_t frame, const TimecodeRate& rate);
// The same for any frame, however many hours.
void AppendTimecode(const BigInt& frame, const TimecodeRate& rate, std::string& out);

// The frame a time of 0 or more seconds falls in.
BigInt FrameAt(const Rational& seconds, const TimecodeRate& rate);
// The frame of division n of a line of times, without exact arithmetic
// unless it lies within a hair of a frame's start; false from 2^64 frames on.
bool FrameOfDivision(const LinearTime& time, unsigned __int128 n, const TimecodeRate& rate,
                     std::uint64_t& frame);
// The timecode of division n of a line of times, appended.
void AppendDivisionTimecode(const LinearTime& time, unsigned __int128 n, const TimecodeRate& rate,
                            std::string& out);
// When a frame starts, in seconds.
Rational FrameStart(std::uint64_t frame, const TimecodeRate& rate);

// "H..H:MM:SS:FF" (hours of 1 to 9 digits; ';' or ':' before a drop-frame
// label's frames, ':' only otherwise) read as its frame; nothing for another
// text, a field out of range or a label drop-frame skips.
std::optional<std::uint64_t> ParseTimecode(std::string_view text, const TimecodeRate& rate);

}  // namespace beatmarks
