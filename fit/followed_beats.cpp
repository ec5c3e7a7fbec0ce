#include "fit/followed_beats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "listen/attacks.h"
#include "listen/low_accents.h"

namespace beatmarks {
namespace {

// Low accents plainly on one beat of the measure: at least this many dB
// above every other beat's, over at least kAccentMeasures measures.
constexpr float kPlainAccentDb = 6.0f;
constexpr std::int64_t kAccentMeasures = 4;

std::string Place(const BeatList& beats, std::size_t k, std::int64_t firstNumber) {
  const BeatPlace place = beats.PlaceOf(k);
  return std::to_string(place.measure + firstNumber) + "." + std::to_string(place.beat + 1);
}

std::string Seconds(std::int64_t sample, std::uint32_t rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", static_cast<double>(sample) / rate);
  return text;
}

std::string Plural(std::size_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

// A run of the pipeline: the request, the list's samples and the attacks.
struct Follow {
  const FollowRequest& q;
  const BeatList& beats;
  BeatsFollowed& f;
  std::uint32_t rate;
  std::vector<std::int64_t> samples;
  std::vector<Attack> attacks;
  std::size_t evenGaps = 0;
};

// Beats a..b (exclusive) spaced evenly between the anchors around them.
void PlaceEvenly(Follow& w, std::size_t a, std::size_t b) {
  const double step = static_cast<double>(w.samples[b] - w.samples[a]) / static_cast<double>(b - a);
  for (std::size_t k = a + 1; k < b; ++k) {
    w.samples[k] = w.samples[a] + std::llround(step * static_cast<double>(k - a));
    w.f.origins[k] = BeatOrigin::kPlaced;
  }
  w.f.placed += b - a - 1;
  if (++w.evenGaps > w.q.lines) return;
  w.f.warnings.push_back("beats " + Place(w.beats, a + 1, w.q.firstNumber) + " to " +
                         Place(w.beats, b - 1, w.q.firstNumber) + " between the taps at " +
                         Seconds(w.samples[a], w.rate) + " s and " + Seconds(w.samples[b], w.rate) +
                         " s: no attacks fit a steady tempo; placed evenly");
}

void FillGaps(Follow& w) {
  const std::vector<bool>& tapped = w.q.tapped;
  std::vector<Attack> found;
  for (std::size_t a = 0, b = 1; b < w.samples.size(); ++b) {
    if (!tapped[b]) continue;
    if (b - a > 1) {
      const double before = a > 0 ? static_cast<double>(w.samples[a] - w.samples[a - 1]) : 0;
      if (FollowBetween(w.attacks, w.samples[a], w.samples[b], b - a - 1, before, found)) {
        for (std::size_t i = 0; i < found.size(); ++i) {
          w.samples[a + 1 + i] = found[i].sample;
          w.f.origins[a + 1 + i] = BeatOrigin::kFollowed;
        }
        w.f.between += found.size();
      } else {
        PlaceEvenly(w, a, b);
        w.f.between += b - a - 1;
      }
    }
    a = b;
  }
  if (w.evenGaps > w.q.lines) {
    w.f.warnings.push_back(std::to_string(w.evenGaps - w.q.lines) + " more stretches placed evenly");
  }
}

// Beats after the last one up to the end of measure `stop` (an index).
std::size_t BeatsUpTo(const BeatList& beats, std::int64_t stop) {
  const BeatPlace last = beats.PlaceOf(beats.size() - 1);
  const __int128 meter = beats.runs.back().beats;  // a STOP may be any 64-bit measure
  const __int128 left = (stop - __int128{last.measure}) * meter + meter - 1 - last.beat;
  return static_cast<std::size_t>(std::clamp<__int128>(left, 0, std::numeric_limits<std::size_t>::max()));
}

void FollowAfter(Follow& w, BeatList& beats) {
  const std::size_t most = w.q.stop ? BeatsUpTo(beats, *w.q.stop) : std::numeric_limits<std::size_t>::max();
  const std::size_t known = std::min<std::size_t>(w.samples.size(), 5);
  const std::vector<std::int64_t> last(w.samples.end() - static_cast<std::ptrdiff_t>(known), w.samples.end());
  const FollowedOn on = FollowOn(w.attacks, last, most, w.f.snapped.result.frames, w.rate);
  for (std::size_t i = 0; i < on.beats.size(); ++i) {
    w.samples.push_back(on.beats[i].sample);
    w.f.origins.push_back(on.onAttack[i] ? BeatOrigin::kFollowed : BeatOrigin::kPlaced);
    if (!on.onAttack[i]) ++w.f.placed;
  }
  w.f.after = on.beats.size();
  w.f.end = on.end;
  beats.ticks.assign(w.samples.begin(), w.samples.end());
  beats.measureCount = beats.PlaceOf(beats.size() - 1).measure + 1;
}

// A warning where the low accents fall plainly on one beat other than the
// first of the measures.
bool CheckAccents(Follow& w, const BeatList& beats, std::string& error) {
  const std::int32_t meter = beats.runs.back().beats;
  if (meter < 2 || beats.measureCount < kAccentMeasures) return true;
  std::vector<float> db;
  if (!LowAccents(w.q.recording, w.samples, db, error)) return false;
  std::vector<double> sum(static_cast<std::size_t>(meter), 0);
  std::vector<std::size_t> count(sum.size(), 0);
  for (std::size_t k = 0; k < db.size(); ++k) {
    const BeatPlace p = beats.PlaceOf(k);
    if (beats.runs.size() > 1 && p.measure < beats.runs.back().firstMeasure) continue;
    sum[static_cast<std::size_t>(p.beat)] += db[k];
    ++count[static_cast<std::size_t>(p.beat)];
  }
  std::size_t top = 0;
  for (std::size_t b = 0; b < sum.size(); ++b) {
    if (count[b] == 0) return true;
    sum[b] /= static_cast<double>(count[b]);
    if (sum[b] > sum[top]) top = b;
  }
  for (std::size_t b = 0; b < sum.size(); ++b) {
    if (b != top && sum[top] < sum[b] + kPlainAccentDb) return true;
  }
  if (top != 0) {
    w.f.warnings.push_back("the low accents fall on beat " + std::to_string(top + 1) +
                           " of the measures, not on beat 1: the taps may number the beats from "
                           "the wrong one (kept as numbered)");
  }
  return true;
}

}  // namespace

bool FollowBeats(const FollowRequest& q, BeatList& beats, BeatsFollowed& f, std::string& error) {
  if (!SnapBeats(q.recording, q.snap, q.firstNumber, q.lines, beats, f.snapped, error, q.tapped)) return false;
  Follow w{q, beats, f, f.snapped.result.rate, {beats.ticks.begin(), beats.ticks.end()}, {}};
  f.origins = f.snapped.origins;
  AttackList list;
  const double from = static_cast<double>(w.samples.front()) / w.rate;
  const double to = static_cast<double>(f.snapped.result.frames) / w.rate + 1;
  if (!ListAttacks(q.recording, from, to, list, error)) return false;
  std::vector<std::int64_t> anchors;
  for (std::size_t k = 0; k < w.samples.size(); ++k) {
    if (q.tapped[k]) anchors.push_back(w.samples[k]);
  }
  w.attacks = AttacksLikeBeats(list.attacks, anchors);
  FillGaps(w);
  FollowAfter(w, beats);
  if (f.end == FollowEnd::kLost) {
    const std::size_t last = beats.size() - 1;
    f.lost = ("Lost the beat after " + Place(beats, last, q.firstNumber) + " at " +
                         Seconds(w.samples[last], w.rate) + " s: tap from there");
  }
  return CheckAccents(w, beats, error);
}

std::string DescribeFollow(const BeatsFollowed& f) {
  return "Followed " + Plural(f.between, "beat") + " between the taps and " +
         std::to_string(f.after) + " after them, " + std::to_string(f.placed) +
         " placed without an attack";
}

}  // namespace beatmarks
