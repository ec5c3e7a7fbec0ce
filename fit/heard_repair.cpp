#include "fit/heard_repair.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace beatmarks {
namespace {

// A beat's attack is at most this much weaker than the beats' typical one;
// a tap with nothing this strong near it marks no beat.
constexpr float kBeatAttackDb = 6.0f;
constexpr float kNoAttackDb = 12.0f;
// How far a tap lies from its attack, at most, when the taps' lag is measured.
constexpr double kTapReach = 0.060;

struct Heard {
  const AttackList& list;
  double lag = 0;         // the taps' typical lateness, in seconds
  float beatDb = 0;       // the beats' typical attack strength
};

double SecondsOf(const Attack& a, std::uint32_t rate) { return static_cast<double>(a.sample) / rate; }

// The strongest attack whose first sample lies within [from, to] s.
std::optional<Attack> Strongest(const AttackList& list, double from, double to) {
  const auto first = std::lower_bound(
      list.attacks.begin(), list.attacks.end(), from,
      [&](const Attack& a, double t) { return SecondsOf(a, list.rate) < t; });
  std::optional<Attack> best;
  for (auto it = first; it != list.attacks.end() && SecondsOf(*it, list.rate) <= to; ++it) {
    if (!best || it->strengthDb > best->strengthDb) best = *it;
  }
  return best;
}

double Median(std::vector<double> values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// The taps' lag and their attacks' strength, from the taps with an attack
// near; nothing where too few have one to tell.
std::optional<Heard> HearTaps(const AttackList& list, const std::vector<double>& taps) {
  std::vector<double> lags, strengths;
  for (const double t : taps) {
    if (const auto a = Strongest(list, t - kTapReach, t + kTapReach)) {
      lags.push_back(t - SecondsOf(*a, list.rate));
      strengths.push_back(a->strengthDb);
    }
  }
  if (lags.size() < 4 || lags.size() * 2 < taps.size()) return std::nullopt;
  return Heard{list, Median(lags), static_cast<float>(Median(strengths))};
}

// A beat's attack within `reach` s of `at` (a tap's time, lag and all).
std::optional<Attack> BeatAttack(const Heard& h, double at, double reach) {
  const auto a = Strongest(h.list, at - h.lag - reach, at - h.lag + reach);
  if (!a || a->strengthDb < h.beatDb - kBeatAttackDb) return std::nullopt;
  return a;
}

bool AnyAttack(const Heard& h, double at, double reach) {
  const auto a = Strongest(h.list, at - h.lag - reach, at - h.lag + reach);
  return a && a->strengthDb >= h.beatDb - kNoAttackDb;
}

struct Edit {
  std::size_t after = 0;         // the tap the beats go after, or the tap dropped
  std::vector<double> added;     // times (lag and all) of the beats added
  double sub = 0;                // the beat of the gap, for the message
};

// The beats missing in the gap after tap k, each on its attack; empty
// where the recording does not show them. `expected`: the beat the
// intervals around the gap have.
std::vector<double> MissingBeats(const Heard& h, const std::vector<double>& s, std::size_t k,
                                 double expected, double& sub) {
  const double gap = s[k + 1] - s[k];
  for (int n = 1; n <= 3; ++n) {
    sub = gap / (n + 1);
    // A phrase may broaden by half a beat at once; the fewest beats that
    // the recording shows win.
    if (sub < 0.7 * expected || sub > 1.6 * expected) continue;
    std::vector<double> found;
    for (int i = 1; i <= n; ++i) {
      const auto a = BeatAttack(h, s[k] + i * sub, 0.25 * sub);
      if (!a) break;
      found.push_back(SecondsOf(*a, h.list.rate) + h.lag);
    }
    if (found.size() == static_cast<std::size_t>(n)) return found;
  }
  return {};
}

// A tap that splits a beat in two short intervals, with no attack of its
// own while the beats beside it have theirs.
bool TooMany(const Heard& h, const std::vector<double>& s, std::size_t k) {
  const double a = s[k] - s[k - 1], b = s[k + 1] - s[k];
  const double expected = std::sqrt((s[k - 1] - s[k - 2]) * (s[k + 2] - s[k + 1]));
  if (a + b < 0.75 * expected || a + b > 1.3 * expected || std::max(a, b) > 0.8 * expected) return false;
  const double reach = std::min(0.05, 0.4 * std::min(a, b));
  return BeatAttack(h, s[k - 1], reach) && BeatAttack(h, s[k + 1], reach) && !AnyAttack(h, s[k], reach);
}

std::vector<Edit> FindEdits(const Heard& h, const std::vector<double>& s) {
  std::vector<Edit> edits;
  const std::size_t n = s.size();
  for (std::size_t k = 1; k + 2 < n; ++k) {
    const double before = s[k] - s[k - 1], gap = s[k + 1] - s[k], after = s[k + 2] - s[k + 1];
    const double expected = std::sqrt(before * after);
    if (gap >= 1.5 * expected && gap >= 1.25 * std::max(before, after)) {
      Edit e{k, {}, 0};
      e.added = MissingBeats(h, s, k, expected, e.sub);
      if (!e.added.empty()) edits.push_back(std::move(e));
    } else if (k >= 2 && k + 2 < n && TooMany(h, s, k)) {
      edits.push_back({k, {}, std::sqrt((s[k - 1] - s[k - 2]) * (s[k + 2] - s[k + 1]))});
      ++k;  // the beat after keeps its tap
    }
  }
  return edits;
}

std::uint64_t Ticks(double seconds, std::uint64_t perSecond) {
  return static_cast<std::uint64_t>(std::llround(seconds * static_cast<double>(perSecond)));
}

// Where beat `j` of the list before the edits is after them.
std::size_t Moved(const std::vector<Edit>& edits, std::size_t j) {
  std::size_t index = j;
  for (const Edit& e : edits) {
    if (!e.added.empty() && e.after < j) index += e.added.size();
    if (e.added.empty() && e.after < j) --index;
  }
  return index;
}

void Apply(const std::vector<Edit>& edits, BeatsRead& read) {
  BeatList& beats = read.beats;
  const std::uint64_t P = beats.ticksPerSecond;
  std::vector<TapRepair> repairs;
  for (TapRepair r : read.repairs) {
    r.beat = Moved(edits, r.beat);
    repairs.push_back(r);
  }
  std::vector<std::uint64_t> ticks;
  ticks.reserve(beats.ticks.size() + edits.size() * 3);
  std::size_t next = 0;
  for (std::size_t k = 0; k < beats.ticks.size(); ++k) {
    const Edit* e = next < edits.size() && edits[next].after == k ? &edits[next++] : nullptr;
    const std::uint64_t t = beats.ticks[k];
    if (e && e->added.empty()) {
      repairs.push_back({TapRepair::Kind::kNoAttack, t, ticks.size(), 1, t - ticks.back(), Ticks(e->sub, P), true});
      continue;
    }
    ticks.push_back(t);
    if (!e) continue;
    const std::uint64_t end = beats.ticks[k + 1];
    TapRepair r{TapRepair::Kind::kMissed, 0, ticks.size(), e->added.size(), end - t, Ticks(e->sub, P), true};
    for (const double at : e->added) ticks.push_back(std::clamp(Ticks(at, P), ticks.back() + 1, end - 1));
    r.ticks = ticks[r.beat];
    repairs.push_back(r);
  }
  std::stable_sort(repairs.begin(), repairs.end(),
                   [](const TapRepair& a, const TapRepair& b) { return a.beat < b.beat; });
  beats.ticks = std::move(ticks);
  read.repairs = std::move(repairs);
  const auto meter = static_cast<std::size_t>(beats.runs.front().beats);
  beats.measureCount =
      static_cast<std::int64_t>((beats.ticks.size() - 1 + static_cast<std::size_t>(beats.pickup)) / meter + 1);
}

}  // namespace

void MendByAttacks(const AttackList& attacks, BeatsRead& read) {
  BeatList& beats = read.beats;
  // Ticks coarser than a millisecond cannot hold an attack's time.
  if (beats.positioned || beats.size() < 5 || attacks.rate == 0 || beats.ticksPerSecond < 1000) return;
  std::vector<double> s;
  s.reserve(beats.size());
  for (const std::uint64_t t : beats.ticks) s.push_back(static_cast<double>(t) / static_cast<double>(beats.ticksPerSecond));
  const std::optional<Heard> heard = HearTaps(attacks, s);
  if (!heard) return;
  const std::vector<Edit> edits = FindEdits(*heard, s);
  if (!edits.empty()) Apply(edits, read);
}

void MendByRecording(const std::string& recording, BeatsRead& read) {
  if (read.beats.positioned || read.beats.size() < 5) return;
  const double from = static_cast<double>(read.beats.ticks.front()) / static_cast<double>(read.beats.ticksPerSecond);
  const double to = static_cast<double>(read.beats.ticks.back()) / static_cast<double>(read.beats.ticksPerSecond);
  AttackList attacks;
  std::string error;
  if (ListAttacks(recording, std::max(0.0, from - 1), to + 1, attacks, error)) MendByAttacks(attacks, read);
}

}  // namespace beatmarks
