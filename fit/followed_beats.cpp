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

// "beats M.B to M.B between the taps at T s and T s" of the gap a..b.
std::string GapBeats(const Follow& w, std::size_t a, std::size_t b) {
  return "beats " + Place(w.beats, a + 1, w.q.firstNumber) + " to " + Place(w.beats, b - 1, w.q.firstNumber) +
         " between the taps at " + Seconds(w.samples[a], w.rate) + " s and " + Seconds(w.samples[b], w.rate) + " s";
}

// Beats a..b (exclusive) spaced evenly between the anchors around them; with
// `tell`, a warning that no attacks fit.
void PlaceEvenly(Follow& w, std::size_t a, std::size_t b, bool tell) {
  const double step = static_cast<double>(w.samples[b] - w.samples[a]) / static_cast<double>(b - a);
  for (std::size_t k = a + 1; k < b; ++k) {
    w.samples[k] = w.samples[a] + std::llround(step * static_cast<double>(k - a));
    w.f.origins[k] = BeatOrigin::kPlaced;
  }
  w.f.placed += b - a - 1;
  if (!tell || ++w.evenGaps > w.q.lines) return;
  w.f.warnings.push_back(GapBeats(w, a, b) + ": no attacks fit a steady tempo; placed evenly");
}

// A gap too many beats long to search at once, followed on from the tap
// before it as beats are followed after the last tap: kept where exactly the
// beats missing are found and the last of them leads into the tap after at
// about the local beat.
bool FollowOnThrough(Follow& w, std::size_t a, std::size_t b) {
  const std::size_t count = b - a - 1;
  const double mean = static_cast<double>(w.samples[b] - w.samples[a]) / static_cast<double>(count + 1);
  std::vector<std::int64_t> known(w.samples.begin() + static_cast<std::ptrdiff_t>(a - std::min<std::size_t>(a, 4)),
                                  w.samples.begin() + static_cast<std::ptrdiff_t>(a + 1));
  if (known.size() < 2) known.insert(known.begin(), known.front() - std::llround(mean));
  const FollowedOn on = FollowOn(w.attacks, known, count, w.samples[b], w.rate);
  if (on.beats.size() != count) return false;
  const double last = static_cast<double>(count > 1 ? on.beats[count - 1].sample - on.beats[count - 2].sample
                                                    : on.beats[0].sample - w.samples[a]);
  const double into = static_cast<double>(w.samples[b] - on.beats.back().sample);
  if (!(into > 0.7 * last && into < 1.3 * last)) return false;
  for (std::size_t i = 0; i < count; ++i) {
    w.samples[a + 1 + i] = on.beats[i].sample;
    w.f.origins[a + 1 + i] = on.onAttack[i] ? BeatOrigin::kFollowed : BeatOrigin::kPlaced;
    if (!on.onAttack[i]) ++w.f.placed;
  }
  return true;
}

// Beats a..b (exclusive) that could not be followed on and that one search
// cannot take: placed evenly, and the run told why.
void FollowLongGap(Follow& w, std::size_t a, std::size_t b) {
  const std::string gap = GapBeats(w, a, b) + ": " + std::to_string(b - a - 1) + " beats, too many to search at once; ";
  PlaceEvenly(w, a, b, false);
  w.f.warnings.push_back(gap + "placed evenly: tap a beat in between");
}

void FillGaps(Follow& w) {
  const std::vector<bool>& tapped = w.q.tapped;
  std::vector<Attack> found;
  for (std::size_t a = 0, b = 1; b < w.samples.size(); ++b) {
    if (!tapped[b]) continue;
    if (b - a > 1) {
      // Followed on beat by beat where that leads exactly into the tap after
      // (fills and crashes do not pull it off the beat); else the best path.
      if (FollowOnThrough(w, a, b)) {
        w.f.between += b - a - 1;
        a = b;
        continue;
      }
      const double before = a > 0 ? static_cast<double>(w.samples[a] - w.samples[a - 1]) : 0;
      const Between outcome = FollowBetween(w.attacks, w.samples[a], w.samples[b], b - a - 1, before, found);
      if (outcome == Between::kFound) {
        for (std::size_t i = 0; i < found.size(); ++i) {
          w.samples[a + 1 + i] = found[i].sample;
          w.f.origins[a + 1 + i] = BeatOrigin::kFollowed;
        }
      } else if (outcome == Between::kTooLarge) {
        FollowLongGap(w, a, b);
      } else {
        PlaceEvenly(w, a, b, true);
      }
      w.f.between += b - a - 1;
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
}

// The run's last word on the follow: the last beat written, and why there
// are no more.
std::string ClosingLine(const Follow& w, const BeatList& beats) {
  const std::size_t last = beats.size() - 1;
  const std::string at = Place(beats, last, w.q.firstNumber) + " at " + Seconds(w.samples[last], w.rate) + " s";
  switch (w.f.end) {
    case FollowEnd::kLost: return "Lost the beat after " + at + ": tap from there";
    case FollowEnd::kLimit: return "Followed to " + at + ": STOP";
    case FollowEnd::kEndOfRecording: return "Followed to " + at + ": the recording ends";
    case FollowEnd::kEndOfPlaying: break;
  }
  return "Followed to " + at + ": the playing ends";
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
  // A last tap apart from the taps before it marks the last beat played:
  // nothing is followed after it.
  const bool lastTapApart = q.tapped.size() >= 2 && !q.tapped[q.tapped.size() - 2];
  if (lastTapApart) {
    f.end = FollowEnd::kEndOfPlaying;
  } else {
    FollowAfter(w, beats);
  }
  beats.ticks.assign(w.samples.begin(), w.samples.end());
  beats.measureCount = beats.PlaceOf(beats.size() - 1).measure + 1;
  f.closing = ClosingLine(w, beats);
  return CheckAccents(w, beats, error);
}

std::string DescribeFollow(const BeatsFollowed& f) {
  return "Followed " + Plural(f.between, "beat") + " between the taps and " +
         std::to_string(f.after) + " after them, " + std::to_string(f.placed) +
         " placed without an attack";
}

}  // namespace beatmarks
