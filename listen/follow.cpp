#include "listen/follow.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "listen/snap_choice.h"

namespace beatmarks {
namespace {

// A change of tempo from one interval to the next costs kChangeWeight x
// log(ratio)^2, at most kHeldCost: a fermata or a sudden change of tempo is
// paid for once, whatever its size. A 2% wobble costs 0.003, an attack
// taken half a beat off about 3 (in and out).
constexpr double kChangeWeight = 8.0;
constexpr double kHeldCost = 1.5;
// What each dB below the strongest attack costs: an off-beat hi-hat 15 dB
// under the beats costs 1.5, as much as a held beat.
constexpr double kWeakCost = 0.1;
// Intervals between beats a path may take, as parts of the mean one.
constexpr double kShortest = 0.5;
constexpr double kLongest = 8.0;
// The largest search made: the candidate beats (attacks times beats, each
// held as one back link), and the steps from each to the attacks it may
// follow.
constexpr double kMostCandidates = 32e6;
constexpr double kMostSteps = 4e8;
constexpr double kInfinite = std::numeric_limits<double>::infinity();

// Attacks on samples before `sample`.
std::size_t AttacksBefore(const std::vector<Attack>& attacks, std::int64_t sample) {
  return static_cast<std::size_t>(
      std::lower_bound(attacks.begin(), attacks.end(), sample,
                       [](const Attack& a, std::int64_t t) { return a.sample < t; }) -
      attacks.begin());
}

// Attacks this much weaker than the known beats' typical one are not beats
// (the noise of a fading tail rises by a few dB); but an attack that rises
// kStrongDb is kept whatever the beats do (out of near silence, a march's
// snare rises 85 dB and its bass note on beat 1 60 dB).
constexpr double kWeakerDb = 20.0;
constexpr double kStrongDb = 30.0;

// The attacks at least `least` dB strong.
std::vector<Attack> StrongerThan(const std::vector<Attack>& attacks, double least) {
  std::vector<Attack> kept;
  for (const Attack& a : attacks) {
    if (a.strengthDb >= least) kept.push_back(a);
  }
  return kept;
}

// The median strength of the attacks on the known beats.
double KnownStrength(const std::vector<Attack>& attacks, const std::vector<std::int64_t>& known) {
  std::vector<double> strengths;
  for (std::int64_t sample : known) {
    const std::size_t k = AttacksBefore(attacks, sample);
    if (k < attacks.size() && attacks[k].sample == sample) strengths.push_back(attacks[k].strengthDb);
  }
  if (strengths.empty()) return 0;
  std::nth_element(strengths.begin(), strengths.begin() + static_cast<std::ptrdiff_t>(strengths.size() / 2), strengths.end());
  return strengths[strengths.size() / 2];
}

double ChangeCost(double interval, double previous) {
  const double r = std::log(interval / previous);
  return std::min(kChangeWeight * r * r, kHeldCost);
}

// The search between two beats: candidate k of row i is attacks[first + k].
struct Search {
  const std::vector<Attack>& attacks;
  std::size_t first = 0, size = 0;  // the attacks strictly between the beats
  double from = 0, to = 0, shortest = 0, longest = 0, strongest = 0;
  std::size_t count = 0;

  double At(std::size_t k) const { return static_cast<double>(attacks[first + k].sample); }
  double Weakness(std::size_t k) const { return kWeakCost * (strongest - attacks[first + k].strengthDb); }
  // Candidates that can be beat i (from 1): room for i intervals before
  // and count + 1 - i after, each between shortest and longest.
  std::pair<std::size_t, std::size_t> Row(std::size_t i) const;
};

std::pair<std::size_t, std::size_t> Search::Row(std::size_t i) const {
  const double after = static_cast<double>(count + 1 - i);
  const double lo = std::max(from + static_cast<double>(i) * shortest, to - after * longest);
  const double hi = std::min(from + static_cast<double>(i) * longest, to - after * shortest);
  std::size_t a = 0;
  while (a < size && At(a) < lo) ++a;
  std::size_t b = a;
  while (b < size && At(b) <= hi) ++b;
  return {a, b};
}

// Rows of the best path to each candidate: its cost, its last interval and
// the candidate before it (-1: the beat at `from`).
struct Rows {
  std::vector<double> cost, interval, nextCost, nextInterval;
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  std::vector<std::vector<std::int32_t>> back;
};

bool FillRows(const Search& s, double before, Rows& r) {
  r.cost.assign(s.size, kInfinite);
  r.interval.assign(s.size, 0);
  r.nextCost.assign(s.size, kInfinite);
  r.nextInterval.assign(s.size, 0);
  for (std::size_t i = 1; i <= s.count; ++i) {
    const auto [a, b] = s.Row(i);
    if (a >= b) return false;
    r.spans.push_back({a, b});
    r.back.emplace_back(b - a, -2);
    std::vector<std::int32_t>& back = r.back.back();
    for (std::size_t k = a; k < b; ++k) {
      double best = kInfinite, bestInterval = 0;
      std::int32_t from = -2;
      if (i == 1) {
        const double gap = s.At(k) - s.from;
        best = ChangeCost(gap, before);
        bestInterval = gap;
        from = -1;
      } else {
        const auto [pa, pb] = r.spans[i - 2];
        for (std::size_t p = std::min(k, pb); p-- > pa;) {
          const double gap = s.At(k) - s.At(p);
          if (gap > s.longest) break;
          if (gap < s.shortest || r.cost[p] == kInfinite) continue;
          const double c = r.cost[p] + ChangeCost(gap, r.interval[p]);
          if (c < best) best = c, bestInterval = gap, from = static_cast<std::int32_t>(p);
        }
      }
      if (from == -2) continue;
      r.nextCost[k] = best + s.Weakness(k);
      r.nextInterval[k] = bestInterval;
      back[k - a] = from;
    }
    if (i > 1) {
      const auto [pa, pb] = r.spans[i - 2];
      std::fill(r.cost.begin() + static_cast<std::ptrdiff_t>(pa), r.cost.begin() + static_cast<std::ptrdiff_t>(pb), kInfinite);
    }
    for (std::size_t k = a; k < b; ++k) std::swap(r.cost[k], r.nextCost[k]), r.interval[k] = r.nextInterval[k];
    std::fill(r.nextCost.begin() + static_cast<std::ptrdiff_t>(a), r.nextCost.begin() + static_cast<std::ptrdiff_t>(b), kInfinite);
  }
  return true;
}

// The path's last candidate: the one whose step onto `to` costs least.
std::int32_t LastOfPath(const Search& s, const Rows& r) {
  const auto [a, b] = r.spans.back();
  double best = kInfinite;
  std::int32_t last = -1;
  for (std::size_t k = a; k < b; ++k) {
    const double gap = s.to - s.At(k);
    if (r.cost[k] == kInfinite || gap < s.shortest || gap > s.longest) continue;
    const double c = r.cost[k] + ChangeCost(gap, r.interval[k]);
    if (c < best) best = c, last = static_cast<std::int32_t>(k);
  }
  return last;
}

}  // namespace

Between FollowBetween(const std::vector<Attack>& attacks, std::int64_t from, std::int64_t to,
                      std::size_t count, double before, std::vector<Attack>& beats) {
  beats.clear();
  if (count == 0) return Between::kFound;
  if (to <= from) return Between::kNoFit;
  Search s{attacks};
  s.from = static_cast<double>(from);
  s.to = static_cast<double>(to);
  s.count = count;
  const double mean = (s.to - s.from) / static_cast<double>(count + 1);
  if (!(before > 0)) before = mean;
  s.shortest = kShortest * std::min(mean, before);
  s.longest = kLongest * std::max(mean, before);
  const std::size_t past = AttacksBefore(attacks, to);
  s.first = std::min(AttacksBefore(attacks, from + 1), past);
  s.size = past - s.first;
  const double candidates = static_cast<double>(s.size) * static_cast<double>(count);
  const double reach = std::max(1.0, static_cast<double>(s.size) * s.longest / (s.to - s.from));
  if (s.size < count) return Between::kNoFit;
  if (candidates > kMostCandidates || candidates * reach > kMostSteps) return Between::kTooLarge;
  for (std::size_t k = 0; k < s.size; ++k) s.strongest = std::max<double>(s.strongest, attacks[s.first + k].strengthDb);
  Rows rows;
  if (!FillRows(s, before, rows)) return Between::kNoFit;
  std::int32_t k = LastOfPath(s, rows);
  if (k < 0) return Between::kNoFit;
  beats.resize(count);
  for (std::size_t i = count; i-- > 0;) {
    beats[i] = attacks[s.first + static_cast<std::size_t>(k)];
    k = rows.back[i][static_cast<std::size_t>(k) - rows.spans[i].first];
  }
  return Between::kFound;
}

namespace {

// After the known beats: an attack is looked for within this part of the
// local beat either way of where the beat is due; it scores its strength
// less kDistanceCost dB at the window's edge. Two attacks within
// kTieDb of each other and over kTieSeconds apart are a doubt.
constexpr double kWindow = 0.2;
// After a beat without an attack, the attack that resumes must lie this
// close to where the count puts it: a note held a beat and a half is a
// doubt (one beat held long, or two quick ones), not two beats.
constexpr double kResumeWindow = 0.1;
constexpr double kDistanceCost = 12.0;
constexpr double kTieDb = 1.5;
constexpr double kTieSeconds = 0.02;
// After the known beats, attacks this far below the level of the beats
// found last are not beats: the playing has ended (a ringing tail, the noise
// under it).
constexpr double kBelowBeatsDb = 15.0;
constexpr std::size_t kLevelBeats = 8;
// After a beat without an attack, the playing goes on only with an attack
// that rises within this much of the beats' rises.
constexpr double kResumeDb = 15.0;
// The shortest local beat followed: 20 ms (3000 bpm).
constexpr double kShortestBeatSeconds = 0.02;
// How fast the local beat follows the intervals found.
constexpr double kFollowRate = 0.4;

double MedianOfLast(const std::vector<std::int64_t>& beats, std::size_t most) {
  std::vector<double> gaps;
  for (std::size_t k = beats.size() - 1; k > 0 && gaps.size() < most; --k) {
    gaps.push_back(static_cast<double>(beats[k] - beats[k - 1]));
  }
  std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
  return gaps[gaps.size() / 2];
}

enum class Found : std::uint8_t { kOne, kNone, kTwo };

// The level of the beats on attacks: the median of the last few.
class BeatLevel {
 public:
  void Add(float db) {
    last_.push_back(db);
    if (last_.size() > kLevelBeats) last_.erase(last_.begin());
  }
  // The median less `below` dB (no floor before any beat).
  double Floor(double below = kBelowBeatsDb) const {
    if (last_.empty()) return -kInfinite;
    std::vector<float> sorted = last_;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    return sorted[sorted.size() / 2] - below;
  }

 private:
  std::vector<float> last_;
};

// The attack that fits a beat due at `due`, at least `floorDb` loud, or why
// there is none.
Found AttackAt(const std::vector<Attack>& attacks, double due, double beat, std::uint32_t rate,
               double floorDb, Attack& found, double part = kWindow) {
  const double window = part * beat;
  std::size_t k = AttacksBefore(attacks, static_cast<std::int64_t>(std::ceil(due - window)));
  double best = -kInfinite, second = -kInfinite;
  std::int64_t secondAt = 0;
  for (; k < attacks.size() && static_cast<double>(attacks[k].sample) <= due + window; ++k) {
    if (attacks[k].levelDb < floorDb) continue;
    const double off = std::fabs(static_cast<double>(attacks[k].sample) - due) / window;
    const double score = attacks[k].strengthDb - kDistanceCost * off;
    if (score > best) {
      second = best, secondAt = found.sample;
      best = score, found = attacks[k];
    } else if (score > second) {
      second = score, secondAt = attacks[k].sample;
    }
  }
  if (best == -kInfinite) return Found::kNone;
  const bool apart = std::llabs(found.sample - secondAt) > static_cast<std::int64_t>(kTieSeconds * rate);
  return second > best - kTieDb && apart ? Found::kTwo : Found::kOne;
}

// An attack that is not clear, both quieter and rising less than the beats
// found last by this much together (a loud last chord may rise less), with
// nothing like a beat after it, is a sound in the tail (a key or a pedal let
// go), not a beat; a held chord that rises clearly is one.
constexpr double kFaintDb = 12.0;
bool Faint(const Attack& a, const BeatLevel& level, const BeatLevel& rise) {
  const double quieter = level.Floor(0) - a.levelDb;
  const double flatter = rise.Floor(0) - a.strengthDb;
  return a.strengthDb < kClearAttackDb && quieter > 0 && flatter > 0 && quieter + flatter >= kFaintDb;
}

// Whether the playing goes on in [from, until]: an attack like the beats'
// (as loud, rising as much).
bool PlayingIn(const std::vector<Attack>& attacks, std::int64_t from, std::int64_t until,
               const BeatLevel& level, const BeatLevel& rise) {
  for (std::size_t k = AttacksBefore(attacks, from); k < attacks.size() && attacks[k].sample <= until; ++k) {
    if (attacks[k].levelDb >= level.Floor() && attacks[k].strengthDb >= rise.Floor(kResumeDb)) return true;
  }
  return false;
}

// The next interval where the last three beats found slow down (or speed
// up) steadily, as in a ritardando: the last interval carried on at the
// same rate of change, at most kMostTrend of it; otherwise `beat`.
constexpr double kMostTrend = 0.15;
double NextInterval(double beat, const std::vector<double>& intervals) {
  if (intervals.size() < 3) return beat;
  const double a = intervals[intervals.size() - 3], b = intervals[intervals.size() - 2], c = intervals.back();
  if (!((a < b && b < c) || (a > b && b > c))) return beat;
  const double change = std::clamp(c / b, 1 - kMostTrend, 1 + kMostTrend);
  return c * change;
}

// Beats due without an attack, spaced evenly up to the attack found after.
void Respace(std::vector<Attack>& due, std::int64_t last, std::int64_t next) {
  const double step = static_cast<double>(next - last) / static_cast<double>(due.size() + 1);
  for (std::size_t i = 0; i < due.size(); ++i) {
    due[i] = {last + std::llround(step * static_cast<double>(i + 1)), 0};
  }
}

}  // namespace

FollowedOn FollowOn(const std::vector<Attack>& attacks, const std::vector<std::int64_t>& known,
                    std::size_t most, std::int64_t end, std::uint32_t rate) {
  FollowedOn out;

  double beat = MedianOfLast(known, 4);
  std::vector<double> intervals;     // between consecutive beats found on attacks
  for (std::size_t k = known.size() > 3 ? known.size() - 3 : 1; k < known.size(); ++k) {
    intervals.push_back(static_cast<double>(known[k] - known[k - 1]));
  }
  std::int64_t last = known.back();  // the last beat on an attack
  std::vector<Attack> due;           // beats since, without one
  BeatLevel level, rise;
  for (std::int64_t sample : known) {
    const std::size_t k = AttacksBefore(attacks, sample);
    if (k < attacks.size() && attacks[k].sample == sample) level.Add(attacks[k].levelDb), rise.Add(attacks[k].strengthDb);
  }
  for (;;) {
    if (!(beat >= kShortestBeatSeconds * rate)) break;  // no beat to follow
    if (out.beats.size() + due.size() >= most) {
      out.end = FollowEnd::kLimit;
      break;
    }
    const double next = due.empty() ? NextInterval(beat, intervals) : beat;
    const double at = static_cast<double>(last) + next * static_cast<double>(due.size() + 1);
    if (at >= static_cast<double>(end)) {
      out.end = FollowEnd::kEndOfRecording;
      break;
    }
    Attack found;
    Found f = AttackAt(attacks, at, next, rate, level.Floor(), found, due.empty() ? kWindow : kResumeWindow);
    if (f == Found::kOne && !due.empty() && found.strengthDb < rise.Floor(kResumeDb)) f = Found::kNone;
    if (f == Found::kOne && Faint(found, level, rise) &&
        !PlayingIn(attacks, found.sample + 1, found.sample + static_cast<std::int64_t>(2 * next), level, rise)) {
      out.end = FollowEnd::kEndOfPlaying;
      break;
    }
    if (f == Found::kTwo || (f == Found::kNone && due.size() == 1)) {
      out.end = FollowEnd::kLost;
      break;
    }
    if (f == Found::kNone) {
      due.push_back({std::llround(at), 0});
      continue;
    }
    Respace(due, last, found.sample);
    for (const Attack& a : due) out.beats.push_back(a), out.onAttack.push_back(false);
    out.beats.push_back(found), out.onAttack.push_back(true);
    level.Add(found.levelDb);
    rise.Add(found.strengthDb);
    const double interval = static_cast<double>(found.sample - last) / static_cast<double>(due.size() + 1);
    if (due.empty()) {
      intervals.push_back(interval);
    } else {
      intervals.clear();  // no trend across a beat without an attack
    }
    beat += kFollowRate * (interval - beat);
    last = found.sample;
    due.clear();
  }
  // Lost where the playing goes on: attacks like the beats' (as loud, rising
  // as much) after the last beat found.
  if (out.end == FollowEnd::kLost &&
      !PlayingIn(attacks, last + static_cast<std::int64_t>(beat * 1.5),
                 std::numeric_limits<std::int64_t>::max(), level, rise)) {
    out.end = FollowEnd::kEndOfPlaying;
  }
  return out;
}

std::vector<Attack> AttacksLikeBeats(const std::vector<Attack>& attacks,
                                     const std::vector<std::int64_t>& known) {
  return StrongerThan(attacks, std::min(KnownStrength(attacks, known) - kWeakerDb, kStrongDb));
}

}  // namespace beatmarks
