#include "fit/beat_list.h"

#include <algorithm>
#include <limits>

#include "exact/exact_time.h"

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

constexpr std::uint64_t kMaxTicks = std::numeric_limits<std::uint64_t>::max();
// 10^19 is the largest power of ten a tick count holds.
constexpr int kMostDecimals = 19;

u128 PowerOfTen(int exponent) {
  u128 value = 1;
  while (exponent-- > 0) value *= 10;
  return value;
}

// Whole digits as a number, or false past `most`.
bool DigitsValue(std::string_view digits, u128 most, u128& value) {
  value = 0;
  for (char c : digits) {
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > most) return false;
  }
  return true;
}

std::string Shown(const BeatPlace& written) {
  return std::to_string(written.measure) + "." + std::to_string(written.beat + 1);
}

}  // namespace

std::string BeatSource::Name() const {
  return std::string(file) + (kind == Kind::kLine ? " line " : " cue point ") + std::to_string(number);
}

Rational BeatList::TimeOf(std::size_t k) const {
  return Rational::FromFraction(ticks[k], ticksPerSecond);
}

BeatPlace BeatList::PlaceOf(std::size_t k) const {
  const std::int64_t b = static_cast<std::int64_t>(k) + pickup;
  auto after = std::upper_bound(runs.begin(), runs.end(), b,
                                [](std::int64_t beat, const MeasureRun& r) { return beat < r.firstBeat; });
  const MeasureRun& r = *std::prev(after);
  return {r.firstMeasure + (b - r.firstBeat) / r.beats,
          static_cast<std::int32_t>((b - r.firstBeat) % r.beats)};
}

std::size_t BeatList::FirstFrom(std::int64_t measure) const {
  if (measure <= 0) return 0;
  auto after = std::upper_bound(runs.begin(), runs.end(), measure,
                                [](std::int64_t m, const MeasureRun& r) { return m < r.firstMeasure; });
  const MeasureRun& r = *std::prev(after);
  const std::int64_t k = r.firstBeat + (measure - r.firstMeasure) * r.beats - pickup;
  return static_cast<std::size_t>(std::min<std::int64_t>(k, static_cast<std::int64_t>(size())));
}

std::optional<BeatPlace> PositionOf(std::string_view text, std::string& problem) {
  problem.clear();
  if (text.size() > 3 && (text[0] | 0x20) == 'b' && (text[1] | 0x20) == 'a' && (text[2] | 0x20) == 'r') {
    text.remove_prefix(3);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  }
  // One separator throughout: the first found.
  const std::size_t first = text.find_first_of(".:");
  const char separator = first == std::string_view::npos ? '.' : text[first];
  std::string_view parts[3];
  int count = 0;
  for (std::size_t at = 0; at <= text.size() && count < 4; ++count) {
    std::size_t dot = text.find(separator, at);
    if (dot == std::string_view::npos) dot = text.size();
    if (count < 3) parts[count] = text.substr(at, dot - at);
    at = dot + 1;
  }
  if (count < 2 || count > 3) return std::nullopt;
  for (int i = 0; i < count; ++i) {
    if (parts[i].empty() || parts[i].find_first_not_of("0123456789") != std::string_view::npos) {
      return std::nullopt;
    }
  }
  constexpr u128 kMost = std::numeric_limits<std::int32_t>::max();
  u128 value[3] = {0, 0, 1};
  for (int i = 0; i < count; ++i) {
    if (!DigitsValue(parts[i], kMost, value[i])) {
      problem = "numbers past " + std::to_string(std::numeric_limits<std::int32_t>::max()) + " in a position";
      return std::nullopt;
    }
  }
  if (value[1] == 0) {
    problem = "beats count from 1";
  } else if (value[2] != 1) {
    problem = "a division after a beat; give the beats alone";
  }
  if (!problem.empty()) return std::nullopt;
  return BeatPlace{static_cast<std::int64_t>(value[0]), static_cast<std::int32_t>(value[1] - 1)};
}

BeatListBuilder::BeatListBuilder(std::int32_t meter, std::size_t expected) : meter_(meter) {
  list_.ticks.reserve(expected);
}

void BeatListBuilder::Mend(std::int32_t pickup, std::int64_t mostAdded) {
  mend_ = true;
  mostAdded_ = mostAdded;
  listPickup_ = pickup;
}

void BeatListBuilder::UseSamples(std::uint32_t rate) { list_.ticksPerSecond = rate; }

bool BeatListBuilder::Fail(const BeatSource& source, const std::string& what) {
  error_ = source.Name() + ": " + what;
  return false;
}

bool BeatListBuilder::AddDecimal(std::string_view text, const std::optional<BeatPlace>& place,
                                 const BeatSource& source) {
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative) digits.remove_prefix(1);
  const std::size_t point = digits.find('.');
  std::string_view whole = digits.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? "" : digits.substr(point + 1);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
  if (negative && !(whole.empty() && fraction.empty())) {
    return Fail(source, std::string(text) + " is before 0");
  }
  const int decimals = static_cast<int>(std::min<std::size_t>(fraction.size(), kMostDecimals + 1));
  u128 wholeValue = 0, fractionValue = 0;
  bool fits = decimals <= kMostDecimals && DigitsValue(whole, kMaxTicks, wholeValue) &&
              DigitsValue(fraction, kMaxTicks, fractionValue);
  // Ticks of a finer time make every time before it a finer count.
  if (fits && decimals > decimals_) {
    const u128 scale = PowerOfTen(decimals - decimals_);
    fits = list_.ticks.empty() || list_.ticks.back() <= kMaxTicks / scale;
    if (fits) {
      for (std::uint64_t& t : list_.ticks) t *= static_cast<std::uint64_t>(scale);
      decimals_ = decimals;
      list_.ticksPerSecond = static_cast<std::uint64_t>(PowerOfTen(decimals_));
    }
  }
  const u128 ticks = wholeValue * PowerOfTen(decimals_) + fractionValue * PowerOfTen(decimals_ - decimals);
  if (!fits || wholeValue > kMaxTicks || ticks > kMaxTicks) {
    const std::string shown = text.size() > 40 ? std::string(text.substr(0, 40)) + "..." : std::string(text);
    return Fail(source, shown + " has more digits than a time keeps (19, counting the decimals of "
                        "the time with the most)");
  }
  return Add(static_cast<std::uint64_t>(ticks), text, place, source);
}

bool BeatListBuilder::AddSample(std::uint64_t sample, const std::optional<BeatPlace>& place,
                                const BeatSource& source) {
  return Add(sample, "sample " + std::to_string(sample), place, source);
}

bool BeatListBuilder::Add(std::uint64_t ticks, std::string_view shown,
                          const std::optional<BeatPlace>& place, const BeatSource& source) {
  if (!list_.ticks.empty() && ticks <= list_.ticks.back()) {
    return Fail(source, std::string(shown) + " does not come after " + last_);
  }
  last_.assign(shown);
  list_.ticks.push_back(ticks);
  if (!mend_) return Place(place, source, list_.ticks.size() == 1);
  // Kept as read: the places are checked once the taps are mended.
  kind_ = source.kind;
  if (place && !placed_) {
    placed_ = true;
    taps_.places.resize(list_.ticks.size() - 1);
    taps_.sources.resize(list_.ticks.size() - 1);
  }
  if (placed_) {
    taps_.places.push_back(place);
    taps_.sources.push_back(source.number);
  }
  return true;
}

bool BeatListBuilder::Replay() {
  taps_.ticks = std::move(list_.ticks);
  taps_.perSecond = list_.ticksPerSecond;
  repairs_ = RepairTaps(taps_, meter_, mostAdded_);
  list_.ticks = std::move(taps_.ticks);
  list_.ticksPerSecond = taps_.perSecond;
  if (taps_.places.empty()) return true;
  for (std::size_t k = 0; k < list_.ticks.size(); ++k) {
    if (!Place(taps_.places[k], {kind_, taps_.sources[k], name_}, k == 0)) return false;
  }
  taps_ = {};
  return true;
}

bool BeatListBuilder::Place(const std::optional<BeatPlace>& place, const BeatSource& source, bool first) {
  if (first) {
    list_.positioned = place.has_value();
    if (place) {
      at_ = *place;
      list_.firstNumber = place->measure;
      list_.pickup = place->beat;
    }
    return true;
  }
  if (place.has_value() != list_.positioned) {
    return Fail(source, list_.positioned ? "no position (M.B) where the beats before have one"
                                         : "a position where the beats before have none");
  }
  if (!place) return true;
  const BeatPlace& p = *place;
  const std::string follows = Shown(p) + " follows " + Shown(at_) + ": ";
  if (p.measure < at_.measure || (p.measure == at_.measure && p.beat <= at_.beat)) {
    return Fail(source, Shown(p) + " does not come after " + Shown(at_));
  }
  if (p.measure == at_.measure) {
    if (p.beat != at_.beat + 1) {
      return Fail(source, follows + "beat " + Shown({p.measure, at_.beat + 1}) + " is missing");
    }
  } else if (p.measure > at_.measure + 1) {
    const std::int64_t from = at_.measure + 1, to = p.measure - 1;
    return Fail(source, follows + (from == to ? "measure " + std::to_string(from) + " is missing"
                                              : "measures " + std::to_string(from) + " to " +
                                                    std::to_string(to) + " are missing"));
  } else if (p.beat != 0) {
    return Fail(source, follows + "beat " + Shown({p.measure, 0}) + " is missing");
  } else {
    EndMeasure(at_.beat + 1);
  }
  at_ = p;
  return true;
}

void BeatListBuilder::EndMeasure(std::int32_t beats) {
  if (list_.runs.empty() || list_.runs.back().beats != beats) {
    const std::int64_t before =
        list_.runs.empty() ? 0
                           : list_.runs.back().firstBeat +
                                 (list_.measureCount - list_.runs.back().firstMeasure) * list_.runs.back().beats;
    list_.runs.push_back({list_.measureCount, before, beats});
  }
  ++list_.measureCount;
  lastMeter_ = beats;
}

bool BeatListBuilder::Finish(BeatList& list) {
  if (mend_ && !Replay()) return false;
  const std::size_t n = list_.ticks.size();
  if (n < fewest_) {
    error_ = name_ + (n == 0 ? " holds no beats" : " holds one beat: a fit needs two at least");
    return false;
  }
  if (list_.positioned) {
    EndMeasure(std::max(at_.beat + 1, lastMeter_ > 0 ? lastMeter_ : meter_));
  } else {
    list_.runs = {{0, 0, meter_}};
    if (listPickup_ > 0) {
      list_.pickup = meter_ - listPickup_;
      list_.firstNumber = 0;
    }
    list_.measureCount =
        static_cast<std::int64_t>((n - 1 + static_cast<std::size_t>(list_.pickup)) / static_cast<std::size_t>(meter_) + 1);
  }
  list = std::move(list_);
  return true;
}

}  // namespace beatmarks
