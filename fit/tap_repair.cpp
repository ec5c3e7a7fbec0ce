#include "fit/tap_repair.h"

#include <algorithm>
#include <array>
#include <limits>
#include <numeric>

#include "exact/exact_time.h"
#include "fit/beat_list.h"

namespace beatmarks {
namespace {

using u128 = unsigned __int128;


u128 Off(u128 a, u128 b) { return a > b ? a - b : b - a; }

// The lower median of the (up to) eight intervals around interval i (t[i] to t[i+1]).
std::uint64_t LocalBeat(const std::vector<std::uint64_t>& t, std::size_t i) {
  const std::size_t intervals = t.size() - 1;
  std::size_t from = i >= 4 ? i - 4 : 0;
  const std::size_t to = std::min(intervals, from + 8);
  from = std::min(from, to >= 8 ? to - 8 : 0);
  std::array<std::uint64_t, 8> d{};
  std::size_t count = 0;
  for (std::size_t j = from; j < to; ++j) d[count++] = t[j + 1] - t[j];
  // The lower median: of a short list's few intervals, a gap held long
  // must not pass for the beat.
  const std::size_t middle = (count - 1) / 2;
  std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(middle), d.begin() + static_cast<std::ptrdiff_t>(count));
  return d[middle];
}

// Under 60% of the beat: no tempo change between two beats goes that fast.
bool WellUnder(std::uint64_t gap, std::uint64_t local) { return u128(gap) * 10 < u128(local) * 6; }

// Two beats, within 15% of a beat (1.85 to 2.15 beats): more than tapping
// jitter, less than a held note; a fermata is rarely held that exactly.
bool AboutTwo(std::uint64_t gap, std::uint64_t local) {
  return Off(gap, u128(local) * 2) * 100 <= u128(local) * 15;
}

// A double tap at in[j]: true to drop the tap kept before it rather than
// in[j], whichever leaves the intervals around nearer the beat.
bool DropEarlier(const std::vector<std::uint64_t>& kept, const std::vector<std::uint64_t>& in,
                 std::size_t j, std::uint64_t local) {
  const std::uint64_t old = kept.back();
  const bool before = kept.size() >= 2, after = j + 1 < in.size();
  u128 keepNew = 0, keepOld = 0;
  if (before) {
    keepNew += Off(in[j] - kept[kept.size() - 2], local);
    keepOld += Off(old - kept[kept.size() - 2], local);
  }
  if (after) {
    keepNew += Off(in[j + 1] - in[j], local);
    keepOld += Off(in[j + 1] - old, local);
  }
  return keepNew < keepOld;
}

void MendList(Taps& taps, std::vector<TapRepair>& repairs) {
  const std::vector<std::uint64_t> in = std::move(taps.ticks);
  std::vector<std::uint64_t>& kept = taps.ticks;
  kept.clear();
  kept.reserve(in.size() + 16);
  kept.push_back(in[0]);
  for (std::size_t j = 1; j < in.size(); ++j) {
    const std::uint64_t local = LocalBeat(in, j - 1), gap = in[j] - kept.back();
    if (WellUnder(gap, local)) {
      TapRepair r{TapRepair::Kind::kDoubleTap, in[j], kept.size(), 1, gap, local};
      if (DropEarlier(kept, in, j, local)) {
        r.ticks = kept.back();
        r.beat = kept.size() - 1;
        kept.back() = in[j];
      }
      repairs.push_back(r);
      continue;
    }
    if (AboutTwo(gap, local) && gap >= 2) {
      const std::uint64_t middle = kept.back() + (gap + 1) / 2;
      repairs.push_back({TapRepair::Kind::kMissed, middle, kept.size(), 1, gap, local});
      kept.push_back(middle);
    }
    kept.push_back(in[j]);
  }
}

bool Before(const BeatPlace& a, const BeatPlace& b) {
  return a.measure < b.measure || (a.measure == b.measure && a.beat < b.beat);
}

// The places missing between p and q, and the length of p's measure. A
// measure that ends early is a shorter one unless the time to q says its
// last beats were missed; measures skipped have the length of the one before.
std::int64_t MissingPlaces(const BeatPlace& p, const BeatPlace& q, std::int32_t& length,
                           std::uint64_t gap, std::uint64_t local, std::int32_t& pLength,
                           std::int64_t most) {
  if (q.measure == p.measure) {
    pLength = std::max(length, q.beat + 1);
    return q.beat - p.beat - 1;
  }
  const std::int32_t len = std::max(p.beat + 1, length);
  std::int64_t end = len - p.beat - 1;
  if (q.measure == p.measure + 1 && q.beat == 0 && end > 0 &&
      Off(gap, u128(local) * static_cast<std::uint64_t>(end + 1)) >= Off(gap, local)) {
    end = 0;
  }
  pLength = static_cast<std::int32_t>(p.beat + 1 + end);
  length = pLength;
  if (q.measure - p.measure - 1 > most) return most + 1;
  return end + (q.measure - p.measure - 1) * len + q.beat;
}

void Fill(Taps& out, std::uint64_t tq, std::uint64_t source, std::int64_t missing,
          std::int32_t pLength, std::int32_t length) {
  BeatPlace at = *out.places.back();
  const std::uint64_t tp = out.ticks.back(), gap = tq - tp;
  for (std::int64_t i = 1; i <= missing; ++i) {
    const std::int32_t len = at.measure == out.places.back()->measure ? pLength : length;
    if (++at.beat >= len) at = {at.measure + 1, 0};
    const u128 step = u128(gap) * static_cast<std::uint64_t>(i);
    const auto parts = static_cast<u128>(missing + 1);
    out.ticks.push_back(tp + static_cast<std::uint64_t>((step + parts / 2) / parts));
    out.places.emplace_back(at);
    out.sources.push_back(source);
  }
}

void MendPositions(Taps& taps, std::int32_t meter, std::int64_t most, std::vector<TapRepair>& repairs) {
  Taps out;
  out.perSecond = taps.perSecond;
  out.ticks.reserve(taps.ticks.size() + 16);
  std::int32_t length = meter;  // of the measure before, as the positions showed it
  for (std::size_t j = 0; j < taps.ticks.size(); ++j) {
    const std::uint64_t t = taps.ticks[j];
    if (!taps.places[j]) {
      const std::uint64_t gap = out.ticks.empty() ? 0 : t - out.ticks.back();
      repairs.push_back({TapRepair::Kind::kNoPosition, t, out.ticks.size(), 1, gap, 0});
      continue;
    }
    const BeatPlace q = *taps.places[j];
    if (!out.ticks.empty() && Before(*out.places.back(), q)) {
      const BeatPlace p = *out.places.back();
      const std::uint64_t gap = t - out.ticks.back(), local = LocalBeat(taps.ticks, j - 1);
      std::int32_t pLength = 0;
      const std::int64_t missing = MissingPlaces(p, q, length, gap, local, pLength, most);
      if (missing > 0 && missing <= most && gap > static_cast<std::uint64_t>(missing)) {
        repairs.push_back({TapRepair::Kind::kMissed, 0, out.ticks.size(),
                           static_cast<std::uint64_t>(missing), gap, local});
        Fill(out, t, taps.sources[j], missing, pLength, length);
        repairs.back().ticks = out.ticks[repairs.back().beat];
      }
    }
    out.ticks.push_back(t);
    out.places.emplace_back(q);
    out.sources.push_back(taps.sources[j]);
  }
  taps = std::move(out);
}

// The least factor that makes every gap with added beats a whole number of
// ticks per beat; 0 where it passes a tick count.
u128 EvenScale(const std::vector<TapRepair>& repairs) {
  constexpr u128 kMost = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t scale = 1;
  for (const TapRepair& r : repairs) {
    if (r.kind != TapRepair::Kind::kMissed) continue;
    const std::uint64_t parts = r.count + 1, need = parts / std::gcd(r.gap, parts);
    const u128 next = u128(scale / std::gcd(scale, need)) * need;
    if (next > kMost) return 0;
    scale = static_cast<std::uint64_t>(next);
  }
  return scale;
}

// Every added beat on its even place between the taps around it, in ticks
// made finer where that needs it; left to the nearest tick where finer
// ticks would not fit.
void SpaceEvenly(Taps& taps, std::vector<TapRepair>& repairs) {
  constexpr u128 kMost = std::numeric_limits<std::uint64_t>::max();
  const u128 scale = EvenScale(repairs);
  if (scale <= 1 || u128(taps.ticks.back()) * scale > kMost || u128(taps.perSecond) * scale > kMost) return;
  const auto by = static_cast<std::uint64_t>(scale);
  for (std::uint64_t& t : taps.ticks) t *= by;
  taps.perSecond *= by;
  for (TapRepair& r : repairs) {
    r.gap *= by;
    r.local *= by;
    if (r.kind != TapRepair::Kind::kMissed) {
      r.ticks *= by;
      continue;
    }
    const std::uint64_t step = r.gap / (r.count + 1), from = taps.ticks[r.beat - 1];
    for (std::uint64_t i = 0; i < r.count; ++i) taps.ticks[r.beat + i] = from + step * (i + 1);
    r.ticks = taps.ticks[r.beat];
  }
}

std::string Seconds(std::uint64_t ticks, std::uint64_t perSecond) {
  std::string text;
  AppendSecondsAt(Rational::FromFraction(ticks, perSecond), 6, text);
  return text + " s";
}

std::string BeatName(const BeatList& beats, std::size_t k, std::int64_t firstNumber) {
  const BeatPlace p = beats.PlaceOf(k);
  return std::to_string(p.measure + firstNumber) + "." + std::to_string(p.beat + 1);
}

// Where a dropped tap lay among the beats kept.
std::string Among(const BeatList& beats, std::size_t after, std::int64_t firstNumber) {
  if (after == 0) return "before beat " + BeatName(beats, 0, firstNumber);
  if (after >= beats.size()) return "after beat " + BeatName(beats, beats.size() - 1, firstNumber);
  return "between beats " + BeatName(beats, after - 1, firstNumber) + " and " +
         BeatName(beats, after, firstNumber);
}

std::string Line(const TapRepair& r, const BeatList& beats, std::int64_t first) {
  const std::uint64_t rate = beats.ticksPerSecond;
  const std::string at = Seconds(r.ticks, rate);
  switch (r.kind) {
    case TapRepair::Kind::kDoubleTap:
      return "tap at " + at + " dropped, " + Among(beats, r.beat, first) + ": " + Seconds(r.gap, rate) +
             " from the tap beside it, well under the beat of " + Seconds(r.local, rate) + " (a double tap)";
    case TapRepair::Kind::kNoPosition:
      return "tap at " + at + " dropped, " + Among(beats, r.beat, first) +
             ": no position (M.B) where the other beats have one";
    case TapRepair::Kind::kNoAttack:
      return "tap at " + at + " dropped, " + Among(beats, r.beat, first) +
             ": no attack in the recording near it, where the beats beside it have theirs (a tap too many)";
    case TapRepair::Kind::kMissed: break;
  }
  const std::size_t last = r.beat + static_cast<std::size_t>(r.count) - 1;
  const std::string added = r.count == 1 ? "beat " + BeatName(beats, r.beat, first) + " at " + at
                                         : std::to_string(r.count) + " beats " + BeatName(beats, r.beat, first) +
                                               " to " + BeatName(beats, last, first) + " from " + at;
  const std::string why = r.heard ? ", the recording has the attack" : "";
  return added + " added (" + (r.count == 1 ? "a tap" : "taps") + " missed" + why + "): " + Seconds(r.gap, rate) +
         " between beats " + BeatName(beats, r.beat - 1, first) + " and " + BeatName(beats, last + 1, first) +
         ", " + std::to_string(r.count + 1) + " beats of about " + Seconds(r.local, rate);
}

}  // namespace

std::vector<TapRepair> RepairTaps(Taps& taps, std::int32_t meter, std::int64_t most) {
  std::vector<TapRepair> repairs;
  if (taps.ticks.size() < 2) return repairs;
  if (taps.places.empty()) {
    MendList(taps, repairs);
  } else {
    const auto placed = static_cast<std::size_t>(
        std::count_if(taps.places.begin(), taps.places.end(), [](const auto& p) { return p.has_value(); }));
    // Positions on a few taps of a plain list are no positions to mend by:
    // the list is refused as it stands.
    if (placed * 2 >= taps.places.size()) MendPositions(taps, meter, most, repairs);
  }
  SpaceEvenly(taps, repairs);
  return repairs;
}

std::vector<std::string> RepairLines(const std::vector<TapRepair>& repairs, const BeatList& beats,
                                     std::int64_t firstNumber, std::size_t most) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < repairs.size() && i < most; ++i) lines.push_back(Line(repairs[i], beats, firstNumber));
  if (repairs.size() > most) {
    const std::size_t rest = repairs.size() - most;
    lines.push_back(std::to_string(rest) + " more repair" + (rest == 1 ? "" : "s") + " like these");
  }
  return lines;
}

}  // namespace beatmarks
