#pragma once

// The forms of a time that editors export, turned into plain decimal seconds
// ("[-]digits[.digits]") exactly, so that the rest of the program reads one form.

#include <optional>
#include <string>
#include <string_view>

namespace beatmarks {

// "m:ss", "m:ss.fff" or "h:mm:ss.fff" ("-" allowed in front; seconds and a
// middle minutes field of two digits below 60), as seconds: "1:02.5" is
// "62.5". Nothing for any other text.
std::optional<std::string> ClockSeconds(std::string_view text);

// A plain decimal of milliseconds (IsTimeText) as seconds: "500" is "0.500",
// "1234.5" is "1.2345".
std::string MillisecondsAsSeconds(std::string_view text);

// What a message adds after "is not a time".
inline constexpr std::string_view kTimeFormsRead = " (times read: seconds such as 12.5, m:ss.fff, h:mm:ss.fff)";
// The same where timecodes are read too (--timecode).
inline constexpr std::string_view kTimeFormsWithTimecode =
    " (times read: seconds such as 12.5, m:ss.fff, h:mm:ss.fff, timecode HH:MM:SS:FF)";

}  // namespace beatmarks
