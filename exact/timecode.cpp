#include "exact/timecode.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace beatmarks {
namespace {

using u64 = std::uint64_t;

constexpr TimecodeRate kRates[] = {
    {"24", 24, 1, 24, false},        {"25", 25, 1, 25, false},
    {"29.97", 30000, 1001, 30, false}, {"29.97df", 30000, 1001, 30, true},
    {"30", 30, 1, 30, false},        {"23.976", 24000, 1001, 24, false},
};

// Drop-frame counts 30 labels a second but skips two at the start of each
// minute that is not a tenth one: 17982 frames in ten minutes, 1798 in a
// minute that drops.
constexpr u64 kDropTenMinutes = 10 * 60 * 30 - 9 * 2;
constexpr u64 kDropMinute = 60 * 30 - 2;

u64 FramesPerHour(const TimecodeRate& rate) {
  return rate.drop ? 6 * kDropTenMinutes : u64{rate.nominal} * 3600;
}

// The label, counted in nominal frames from the hour, of a frame of the hour.
u64 LabelInHour(u64 frame, const TimecodeRate& rate) {
  if (!rate.drop) return frame;
  const u64 tens = frame / kDropTenMinutes, into = frame % kDropTenMinutes;
  const u64 dropped = into < 2 ? 0 : 2 * ((into - 2) / kDropMinute);
  return frame + 18 * tens + dropped;
}

TimecodeFields FieldsOfLabel(u64 hours, u64 label, const TimecodeRate& rate) {
  TimecodeFields f;
  f.hours = hours;
  f.frames = static_cast<std::uint32_t>(label % rate.nominal);
  const u64 seconds = label / rate.nominal;
  f.seconds = static_cast<std::uint32_t>(seconds % 60);
  f.minutes = static_cast<std::uint32_t>(seconds / 60);
  return f;
}

char* PutTwo(char* at, std::uint32_t value) {
  *at++ = static_cast<char>('0' + value / 10);
  *at++ = static_cast<char>('0' + value % 10);
  return at;
}

// ":MM:SS:FF" (";FF" for drop-frame) after the hours.
char* PutMinutesOn(char* at, const TimecodeFields& f, const TimecodeRate& rate) {
  *at++ = ':';
  at = PutTwo(at, f.minutes);
  *at++ = ':';
  at = PutTwo(at, f.seconds);
  *at++ = rate.drop ? ';' : ':';
  return PutTwo(at, f.frames);
}

// A field of `least` to `most` digits; false for anything else.
bool Field(std::string_view text, std::size_t least, std::size_t most, u64& value) {
  if (text.size() < least || text.size() > most) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<u64>(c - '0');
  }
  return true;
}

// The frame from exact integers where they fit: time = numerator / denominator.
bool MachineFrame(const LinearTime& time, unsigned __int128 n, const TimecodeRate& rate, u64& frame) {
  __int128 base = 0, step = 0, denominator = 0, stepped = 0, numerator = 0, scaled = 0, over = 0;
  if (!time.MachineLine(base, step, denominator) || n > (~static_cast<unsigned __int128>(0) >> 1) ||
      __builtin_mul_overflow(step, static_cast<__int128>(n), &stepped) ||
      __builtin_add_overflow(base, stepped, &numerator) ||
      __builtin_mul_overflow(numerator, static_cast<__int128>(rate.numerator), &scaled) ||
      __builtin_mul_overflow(denominator, static_cast<__int128>(rate.denominator), &over)) {
    return false;
  }
  const __int128 quotient = scaled / over;  // both above 0 or scaled 0: truncation is floor
  if (quotient > static_cast<__int128>(~u64{0})) return false;
  frame = static_cast<u64>(quotient);
  return true;
}

}  // namespace

std::optional<TimecodeRate> TimecodeRateNamed(std::string_view name) {
  for (const TimecodeRate& rate : kRates) {
    if (name == rate.name) return rate;
  }
  return std::nullopt;
}

TimecodeFields FieldsOfFrame(u64 frame, const TimecodeRate& rate) {
  const u64 perHour = FramesPerHour(rate);
  return FieldsOfLabel(frame / perHour, LabelInHour(frame % perHour, rate), rate);
}

u64 FrameOfFields(const TimecodeFields& f, const TimecodeRate& rate) {
  u64 label = (u64{f.minutes} * 60 + f.seconds) * rate.nominal + f.frames;
  if (rate.drop) label -= 2 * (f.minutes - f.minutes / 10);
  return f.hours * FramesPerHour(rate) + label;
}

char* PutTimecode(char* at, u64 frame, const TimecodeRate& rate) {
  const TimecodeFields f = FieldsOfFrame(frame, rate);
  if (f.hours < 10) *at++ = '0';
  at = std::to_chars(at, at + 20, f.hours).ptr;
  return PutMinutesOn(at, f, rate);
}

std::string TimecodeText(u64 frame, const TimecodeRate& rate) {
  char text[kLongestTimecode];
  return std::string(text, PutTimecode(text, frame, rate));
}

void AppendTimecode(const BigInt& frame, const TimecodeRate& rate, std::string& out) {
  BigInt hours, rest;
  BigInt::DivMod(frame, BigInt::FromUnsigned(FramesPerHour(rate)), hours, rest);
  std::int64_t inHour = 0;
  rest.ToInt64(inHour);
  const TimecodeFields f = FieldsOfLabel(0, LabelInHour(static_cast<u64>(inHour), rate), rate);
  const std::string hourDigits = hours.ToDecimal();
  if (hourDigits.size() < 2) out += '0';
  out += hourDigits;
  char tail[kLongestTimecode];
  out.append(tail, PutMinutesOn(tail, f, rate));
}

BigInt FrameAt(const Rational& seconds, const TimecodeRate& rate) {
  return BigInt::FloorDiv(seconds.numerator() * BigInt(rate.numerator),
                          seconds.denominator() * BigInt(rate.denominator));
}

bool FrameOfDivision(const LinearTime& time, unsigned __int128 n, const TimecodeRate& rate, u64& frame) {
  // The double is within a few units of 2^-53 of the product: only a time
  // closer than 2^-48 of it to a frame's start needs the exact integers.
  const double x = time.Nearest(n) * rate.numerator / rate.denominator;
  const double margin = x * 0x1p-48 + 0x1p-60;
  if (x < 0x1p52 && std::floor(x - margin) == std::floor(x + margin)) {
    frame = static_cast<u64>(x);
    return true;
  }
  if (MachineFrame(time, n, rate, frame)) return true;
  const BigInt exact = FrameAt(time.At(n), rate);
  unsigned __int128 wide = 0;
  if (!exact.ToUnsigned128(wide) || wide > ~u64{0}) return false;
  frame = static_cast<u64>(wide);
  return true;
}

void AppendDivisionTimecode(const LinearTime& time, unsigned __int128 n, const TimecodeRate& rate,
                            std::string& out) {
  if (u64 frame = 0; FrameOfDivision(time, n, rate, frame)) {
    char text[kLongestTimecode];
    out.append(text, PutTimecode(text, frame, rate));
  } else {
    AppendTimecode(FrameAt(time.At(n), rate), rate, out);
  }
}

Rational FrameStart(u64 frame, const TimecodeRate& rate) {
  return Rational(BigInt::FromUnsigned(frame) * BigInt(rate.denominator), BigInt(rate.numerator));
}

std::optional<u64> ParseTimecode(std::string_view text, const TimecodeRate& rate) {
  const std::size_t first = text.find(':');
  if (first == std::string_view::npos || text.size() != first + 9 || text[first + 3] != ':') {
    return std::nullopt;
  }
  const char last = text[first + 6];
  if (last != ':' && !(rate.drop && last == ';')) return std::nullopt;
  u64 hours = 0, minutes = 0, seconds = 0, frames = 0;
  if (!Field(text.substr(0, first), 1, 9, hours) || !Field(text.substr(first + 1, 2), 2, 2, minutes) ||
      !Field(text.substr(first + 4, 2), 2, 2, seconds) || !Field(text.substr(first + 7, 2), 2, 2, frames) ||
      minutes >= 60 || seconds >= 60 || frames >= rate.nominal) {
    return std::nullopt;
  }
  if (rate.drop && seconds == 0 && frames < 2 && minutes % 10 != 0) return std::nullopt;
  return FrameOfFields({hours, static_cast<std::uint32_t>(minutes), static_cast<std::uint32_t>(seconds),
                        static_cast<std::uint32_t>(frames)},
                       rate);
}

}  // namespace beatmarks
