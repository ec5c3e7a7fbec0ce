#include "locate/time_forms.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace beatmarks {
namespace {

bool Digits(std::string_view text, std::size_t least, std::size_t most) {
  if (text.size() < least || text.size() > most) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::uint64_t ValueOf(std::string_view digits) {
  std::uint64_t value = 0;
  for (char c : digits) value = value * 10 + static_cast<std::uint64_t>(c - '0');
  return value;
}

std::vector<std::string_view> SplitColons(std::string_view text) {
  std::vector<std::string_view> parts;
  for (std::size_t colon; (colon = text.find(':')) != std::string_view::npos;) {
    parts.push_back(text.substr(0, colon));
    text.remove_prefix(colon + 1);
  }
  parts.push_back(text);
  return parts;
}

}  // namespace

std::optional<std::string> ClockSeconds(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::vector<std::string_view> parts = SplitColons(text);
  if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
  // The leading field is bounded so that the whole seconds fit in 64 bits.
  constexpr std::size_t kLeadingDigits = 12;
  if (!Digits(parts[0], 1, kLeadingDigits)) return std::nullopt;
  std::uint64_t whole = ValueOf(parts[0]);
  if (parts.size() == 3) {
    if (!Digits(parts[1], 2, 2) || ValueOf(parts[1]) >= 60) return std::nullopt;
    whole = whole * 60 + ValueOf(parts[1]);
  }
  std::string_view seconds = parts.back(), fraction;
  if (const std::size_t point = seconds.find('.'); point != std::string_view::npos) {
    fraction = seconds.substr(point + 1);
    seconds = seconds.substr(0, point);
    if (!Digits(fraction, 0, fraction.size())) return std::nullopt;
  }
  if (!Digits(seconds, 2, 2) || ValueOf(seconds) >= 60) return std::nullopt;
  whole = whole * 60 + ValueOf(seconds);
  std::string out(negative ? 1 : 0, '-');
  out.append(std::to_string(whole));
  if (!fraction.empty()) out.append(1, '.').append(fraction);
  return out;
}

std::string MillisecondsAsSeconds(std::string_view text) {
  std::string out;
  if (!text.empty() && text.front() == '-') {
    out.push_back('-');
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  std::string digits(text.substr(0, point));
  if (point != std::string_view::npos) digits += text.substr(point + 1);
  const std::ptrdiff_t whole = static_cast<std::ptrdiff_t>(std::min(point, text.size())) - 3;
  if (whole <= 0) {
    out.append("0.").append(static_cast<std::size_t>(-whole), '0').append(digits);
  } else {
    out.append(digits, 0, static_cast<std::size_t>(whole)).append(1, '.');
    out.append(digits, static_cast<std::size_t>(whole));
  }
  return out;
}

}  // namespace beatmarks
