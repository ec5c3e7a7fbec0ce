#include "listen/hear.h"

#include <algorithm>
#include <cmath>

#include "listen/attacks.h"
#include "listen/beat_division.h"
#include "listen/follow.h"
#include "listen/harmony.h"
#include "listen/low_accents.h"

namespace beatmarks {
namespace {

constexpr double kBinSeconds = 0.010;  // the strength train's step
constexpr double kSlowestBpm = 40, kFastestBpm = 240;
// Tempos people play, as a bell over log tempo: most likely near 110 bpm
// (60 for a compound meter's dotted quarter), an octave either way a
// factor e^-0.5 less.
constexpr double kLikelyBpm = 110, kLikelyCompoundBpm = 60;
constexpr std::size_t kFewestBeats = 8;
// A period's neighbours: two attacks this near a period apart start a path.
constexpr double kSeedTolerance = 0.08;
constexpr double kSeedSpreadDb = 20.0;
// A meter of three is heard only where its accents stand out this much
// more than four's (in dB); four is the common case.
constexpr double kThreeOverFourDb = 1.0;
// Three's accents within this of where they choose three (either way), with
// no chord to settle it, leave the meter a guess. On the test performances
// the waltz passes that line by 21 dB, the 4/4 pieces miss it by 3 dB and
// more (but the jazz, by 0.6 dB, whose chords say four).
constexpr double kMeterCloseDb = 1.5;
// Beats 1 and 3 whose low accents differ by less than this (a drum groove's
// kicks on both) cannot tell the bar line alone.
constexpr double kAlikeDb = 1.0;
// After a loss, two attacks resume the beat: each may be this much weaker
// than the median attack (the last notes of a piece are seldom its loudest).
constexpr double kResumeSlackDb = 6.0;
// A rest is counted through where the beats after it lie within this of a
// whole number of beats on, at a tempo within this share of the one before.
constexpr double kRestSlack = 0.1, kRestTempo = 0.05;
// Beats at least this fast (the slowest twentieth left out) whose every
// other beat is this much softer might be counted at half the tempo. On the
// instrument performances that fast (the jazz, the waltz) the beats
// alternate by 0.7 dB at most; chords at 70 bpm whose eighths lack the root
// and are 2.5 dB softer are heard at 140, alternating by 3.8 dB.
constexpr double kHalfPlayedBpm = 120, kAlternateDb = 2.0;
// Beats followed from the seed before the follow goes on from all of them.
constexpr std::size_t kMeasureFirst = 5;

std::vector<double> StrengthTrain(const AttackList& list) {
  const auto bins = static_cast<std::size_t>(static_cast<double>(list.frames) / list.rate / kBinSeconds) + 1;
  std::vector<double> train(bins, 0.0);
  for (const Attack& a : list.attacks) {
    const auto bin = static_cast<std::size_t>(static_cast<double>(a.sample) / list.rate / kBinSeconds);
    if (bin < bins) train[bin] = std::max(train[bin], std::pow(10.0, a.levelDb / 20));
  }
  return train;
}

// The beat's period in seconds: the lag where the strengths recur most,
// weighted by how likely its tempo is.
double BeatPeriod(const std::vector<double>& train, double likelyBpm) {
  const auto shortest = static_cast<std::size_t>(60 / kFastestBpm / kBinSeconds);
  const auto longest = static_cast<std::size_t>(60 / kSlowestBpm / kBinSeconds);
  double best = 0, period = 0;
  for (std::size_t lag = shortest; lag <= longest && lag < train.size(); ++lag) {
    double sum = 0;
    for (std::size_t i = 0; i + lag < train.size(); ++i) sum += train[i] * train[i + lag];
    const double seconds = static_cast<double>(lag) * kBinSeconds;
    const double octaves = std::log2(seconds / (60 / likelyBpm));
    const double score = sum / static_cast<double>(train.size() - lag) * std::exp(-0.5 * octaves * octaves);
    if (score > best) best = score, period = seconds;
  }
  return period;
}

double MedianStrength(const std::vector<Attack>& attacks) {
  std::vector<float> s;
  for (const Attack& a : attacks) s.push_back(a.strengthDb);
  std::nth_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(s.size() / 2), s.end());
  return s[s.size() / 2];
}

// The first attack at least `least` strong after `from` within `tolerance`
// of `at`, the nearest; the index or attacks.size().
std::size_t StrongNear(const std::vector<Attack>& attacks, std::size_t from, double at, double tolerance,
                       double least) {
  std::size_t found = attacks.size();
  for (std::size_t k = from; k < attacks.size() && static_cast<double>(attacks[k].sample) <= at + tolerance; ++k) {
    if (attacks[k].strengthDb < least || static_cast<double>(attacks[k].sample) < at - tolerance) continue;
    if (found == attacks.size() || std::fabs(static_cast<double>(attacks[k].sample) - at) <
                                       std::fabs(static_cast<double>(attacks[found].sample) - at)) {
      found = k;
    }
  }
  return found;
}

// Three strong attacks a period apart (two with `two`, a little weaker), the
// earliest such from attack `from` on: the beats the path starts from.
std::vector<std::int64_t> Seed(const std::vector<Attack>& attacks, double period, std::size_t from = 0,
                               bool two = false) {
  const double least = MedianStrength(attacks) - (two ? kResumeSlackDb : 0.0);
  const double tolerance = kSeedTolerance * period;
  for (std::size_t a = from; a < attacks.size(); ++a) {
    if (attacks[a].strengthDb < least) continue;
    const double at = static_cast<double>(attacks[a].sample);
    const std::size_t b = StrongNear(attacks, a + 1, at + period, tolerance, least);
    if (b == attacks.size()) continue;
    if (two) return {attacks[a].sample, attacks[b].sample};
    const double next = 2 * static_cast<double>(attacks[b].sample) - at;
    const std::size_t c = StrongNear(attacks, b + 1, next, tolerance, least);
    if (c == attacks.size()) continue;
    // A first attack far weaker than the two after it (the noise a file
    // starts on, a beat before its first) is no beat to start from.
    if (attacks[a].strengthDb + kSeedSpreadDb < std::min(attacks[b].strengthDb, attacks[c].strengthDb)) continue;
    return {attacks[a].sample, attacks[b].sample, attacks[c].sample};
  }
  return {};
}

// The attacks as heard backwards from the end: what comes before a beat is
// followed as what comes after.
std::vector<Attack> Backwards(const std::vector<Attack>& attacks, std::int64_t frames) {
  std::vector<Attack> reversed(attacks.rbegin(), attacks.rend());
  for (Attack& a : reversed) a.sample = frames - a.sample;
  return reversed;
}

// The beats after `seed` as --follow finds them after two tapped measures:
// a measure's worth from the seed first, then on from those.
FollowedOn FollowFrom(const std::vector<Attack>& attacks, const std::vector<std::int64_t>& seed,
                      std::int64_t frames, std::uint32_t rate) {
  const FollowedOn start = FollowOn(AttacksLikeBeats(attacks, seed), seed, kMeasureFirst, frames, rate);
  std::vector<std::int64_t> known = seed;
  for (const Attack& a : start.beats) known.push_back(a.sample);
  if (start.end != FollowEnd::kLimit) return start;
  FollowedOn on = FollowOn(AttacksLikeBeats(attacks, known), known, SIZE_MAX, frames, rate);
  on.beats.insert(on.beats.begin(), start.beats.begin(), start.beats.end());
  return on;
}

// The beats from `seed` both ways; `lost` set where the forward follow
// lost the beat while the playing went on.
std::vector<std::int64_t> FollowBothWays(const AttackList& list, const std::vector<std::int64_t>& seed,
                                         bool& lost) {
  const FollowedOn on = FollowFrom(list.attacks, seed, list.frames, list.rate);
  lost = on.end == FollowEnd::kLost;
  std::vector<std::int64_t> mirrored;
  for (auto it = seed.rbegin(); it != seed.rend(); ++it) mirrored.push_back(list.frames - *it);
  const FollowedOn back = FollowFrom(Backwards(list.attacks, list.frames), mirrored, list.frames, list.rate);
  std::vector<std::int64_t> beats;
  for (auto it = back.beats.rbegin(); it != back.beats.rend(); ++it) {
    if (it->sample < list.frames) beats.push_back(list.frames - it->sample);
  }
  beats.insert(beats.end(), seed.begin(), seed.end());
  for (const Attack& a : on.beats) beats.push_back(a.sample);
  return beats;
}

// The mean low accent of each beat of measures of `meter`, in dB.
std::vector<double> MeanAccents(const std::vector<float>& db, std::int32_t meter) {
  std::vector<double> sum(static_cast<std::size_t>(meter), 0);
  std::vector<double> count(sum.size(), 0);
  for (std::size_t k = 0; k < db.size(); ++k) sum[k % sum.size()] += db[k], count[k % sum.size()] += 1;
  for (std::size_t b = 0; b < sum.size(); ++b) sum[b] /= std::max(1.0, count[b]);
  return sum;
}

// How far the loudest beat of the measure's low accents stands out over
// the others, in dB, and which beat it is, for measures of `meter`.
std::pair<double, std::int32_t> AccentContrast(const std::vector<float>& db, std::int32_t meter) {
  const std::vector<double> mean = MeanAccents(db, meter);
  const auto top = static_cast<std::int32_t>(std::max_element(mean.begin(), mean.end()) - mean.begin());
  double others = 0;
  for (std::size_t b = 0; b < mean.size(); ++b) {
    if (b != static_cast<std::size_t>(top)) others += mean[b];
  }
  return {mean[static_cast<std::size_t>(top)] - others / (meter - 1), top};
}

// Two or four from where the chords change: asked about the beats of the
// accents' beat 1 and, where the chords change plainly on neither, about
// the two between (low accents alike on every beat leave beat 1 a toss-up).
MeterGuess ChordsGuess(const std::vector<Chroma>& chromas, std::int32_t four) {
  const MeterGuess guess = TwoOrFour(HalfMeasureChanges(chromas, four), four);
  if (guess.clear) return guess;
  const std::int32_t between = (four + 1) % 4;
  const MeterGuess moved = TwoOrFour(HalfMeasureChanges(chromas, between), between);
  return moved.clear ? moved : guess;
}

bool HearMeter(const HearingRequest& q, HeardBeats& h, std::string& error) {
  std::vector<float> db;
  if (!LowAccents(q.path, h.samples, db, error)) return false;
  std::int32_t meter = q.meter;
  h.meterHeard = meter == 0;
  // Three beats a measure where three's accents stand out over two's (dotted
  // quarters: 6/8) or four's by kThreeOverFourDb; threeBy is by how much more.
  const std::int32_t other = h.compound ? 2 : 4;
  const double threeBy = AccentContrast(db, 3).first - AccentContrast(db, other).first - kThreeOverFourDb;
  if (meter == 0) meter = threeBy > 0 ? 3 : other;
  std::int32_t downbeat = AccentContrast(db, meter).second;
  bool chordsSay = false;
  if (q.meter == 0 && (meter == 4 || (meter == 2 && h.compound))) {
    // Two or four, and which of beats 1 and 3 is 1: where the chords change.
    // A compound meter is 6/8 unless they plainly change every four beats.
    const std::int32_t four = AccentContrast(db, 4).second;
    std::vector<Chroma> chromas;
    if (!BeatChromas(q.path, h.samples, chromas, error)) return false;
    const MeterGuess guess = ChordsGuess(chromas, four);
    if (!h.compound || (guess.meter == 4 && guess.clear)) meter = guess.meter, downbeat = guess.downbeat;
    chordsSay = guess.clear;
    // Beats 1 and 3 alike in the low accents, and the chords silent on
    // which is 1: the bar line is a guess.
    const std::vector<double> mean = MeanAccents(db, 4);
    h.barUnsure = !h.compound && meter == 4 && !guess.clear && !q.before &&
                  std::fabs(mean[static_cast<std::size_t>(downbeat)] - mean[static_cast<std::size_t>((downbeat + 2) % 4)]) < kAlikeDb;
  }
  // The accents hardly choose between three and the other, and no chord
  // settles it: the meter is a guess.
  if (h.meterHeard && std::fabs(threeBy) < kMeterCloseDb && !chordsSay) h.barUnsure = true;
  h.meter = meter;
  h.before = q.before ? *q.before % meter : downbeat;
  return true;
}

// A rest: the beats heard on after a loss (`resumed`) lie a whole number of
// beats on (within kRestSlack of one) at the tempo before it (within
// kRestTempo): the beats between are placed evenly and numbered, and the
// beat is not lost. Otherwise (a fermata, a change of tempo) it is, as if held.
void CountRest(HeardBeats& h, double beat, const std::vector<std::int64_t>& resumed) {
  const std::int64_t last = h.samples.back();
  const double after = static_cast<double>(resumed[1] - resumed[0]);
  // Counted in the mean of the beats either side: a tempo that drifts
  // across the rest, drifts within it.
  const double gap = static_cast<double>(resumed[0] - last) / ((beat + after) / 2);
  const double whole = std::round(gap);
  if (whole < 2 || std::fabs(gap - whole) > kRestSlack || std::fabs(after / beat - 1) > kRestTempo) return;
  const double step = static_cast<double>(resumed[0] - last) / whole;
  for (int i = 1; i < static_cast<int>(whole); ++i) {
    h.placed.push_back(h.samples.size());
    h.samples.push_back(last + std::llround(step * i));
  }
  h.lostAfter.pop_back();
}

// Where the beat was lost while the playing goes on (a fermata, a break):
// the next two strong attacks a beat apart, a beat and a half on at least,
// and the beats followed on from them; false where there are none.
bool HearOnAfterLoss(const AttackList& list, HeardBeats& h, bool& lost) {
  const std::vector<std::int64_t>& s = h.samples;
  std::vector<double> gaps;
  for (std::size_t k = s.size() - std::min<std::size_t>(s.size() - 1, 4); k < s.size(); ++k) {
    gaps.push_back(static_cast<double>(s[k] - s[k - 1]));
  }
  std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
  const double beat = gaps[gaps.size() / 2];
  const auto after = std::lower_bound(list.attacks.begin(), list.attacks.end(), s.back() + std::llround(1.5 * beat),
                                      [](const Attack& a, std::int64_t at) { return a.sample < at; });
  h.lostAfter.push_back(s.size() - 1);
  const std::vector<std::int64_t> seed =
      Seed(list.attacks, beat, static_cast<std::size_t>(after - list.attacks.begin()), true);
  if (seed.empty()) return false;
  // On from the seed, with the beats before the loss setting how loud a beat
  // is: two soft attacks resume the beat, not the noise after them.
  std::vector<std::int64_t> known(s.end() - static_cast<std::ptrdiff_t>(std::min<std::size_t>(s.size(), 8)), s.end());
  known.insert(known.end(), seed.begin(), seed.end());
  const FollowedOn on = FollowFrom(list.attacks, known, list.frames, list.rate);
  // Back from the seed too, to a beat's length after the beat lost.
  std::vector<std::int64_t> mirrored;
  for (auto it = seed.rbegin(); it != seed.rend(); ++it) mirrored.push_back(list.frames - *it);
  const std::int64_t stop = list.frames - (s.back() + std::llround(beat / 2));
  const FollowedOn back = FollowFrom(Backwards(list.attacks, list.frames), mirrored, stop, list.rate);
  std::vector<std::int64_t> resumed;
  for (auto it = back.beats.rbegin(); it != back.beats.rend(); ++it) resumed.push_back(list.frames - it->sample);
  resumed.insert(resumed.end(), seed.begin(), seed.end());
  CountRest(h, beat, resumed);
  h.samples.insert(h.samples.end(), resumed.begin(), resumed.end());
  for (const Attack& a : on.beats) h.samples.push_back(a.sample);
  lost = on.end == FollowEnd::kLost;
  return true;
}

// The beats heard with tempos near `likelyBpm` most likely; false where
// none are.
bool HearWith(const AttackList& list, double likelyBpm, HeardBeats& h) {
  h.rate = list.rate;
  h.frames = list.frames;
  const double period = BeatPeriod(StrengthTrain(list), likelyBpm) * list.rate;
  const std::vector<std::int64_t> seed = period > 0 ? Seed(list.attacks, period) : std::vector<std::int64_t>{};
  if (seed.empty()) return false;
  bool lost = false;
  h.samples = FollowBothWays(list, seed, lost);
  if (h.samples.size() < kFewestBeats) return false;
  while (lost && HearOnAfterLoss(list, h, lost)) {
  }
  return true;
}

// How much of the recording the beats span, less a beat's worth for each
// place the beat was lost.
double Span(const HeardBeats& h) {
  const double span = static_cast<double>(h.samples.back() - h.samples.front());
  return span - span / static_cast<double>(h.samples.size()) * static_cast<double>(h.lostAfter.size());
}

// Without a meter given: a compound meter where the beats heard as dotted
// quarters are divided in three and hold together at least as well.
void HearCompoundIfSo(const AttackList& list, HeardBeats& h) {
  HeardBeats dotted;
  if (!HearWith(list, kLikelyCompoundBpm, dotted) || !DividedInThree(list.attacks, dotted.samples)) return;
  if (!h.samples.empty() && Span(dotted) < Span(h)) return;
  h = std::move(dotted);
  h.compound = true;
}

}  // namespace

bool HearBeats(const HearingRequest& q, HeardBeats& h, std::string& error) {
  AttackList list;
  if (!ListAttacks(q.path, 0, 1e300, list, error)) return false;
  h = {};
  const std::string none = q.path + ": no beat heard in it (silence, noise, or sounds that do not recur)";
  if (list.attacks.size() < kFewestBeats) {
    error = none;
    return false;
  }
  const bool simple = HearWith(list, q.compound ? kLikelyCompoundBpm : kLikelyBpm, h);
  h.compound = q.compound;
  if (q.meter == 0 && !q.compound) {
    if (!simple) h = {};
    HearCompoundIfSo(list, h);
  }
  if (h.samples.size() < kFewestBeats) {
    error = none;
    return false;
  }
  // Halves as strong as the beats: the tempo might as well be double; or
  // every other beat clearly softer, at a tempo whose half people play too.
  h.tempoUnsure = !h.compound && (HalvesLikeBeats(list.attacks, h.samples) ||
                                  (TempoRange(h).first >= kHalfPlayedBpm &&
                                   AlternationDb(list.attacks, h.samples) >= kAlternateDb));
  return HearMeter(q, h, error);
}

std::pair<double, double> TempoRange(const HeardBeats& h) {
  std::vector<double> bpm;
  for (std::size_t k = 1; k < h.samples.size(); ++k) {
    bpm.push_back(60.0 * h.rate / static_cast<double>(h.samples[k] - h.samples[k - 1]));
  }
  if (bpm.empty()) return {0, 0};
  std::sort(bpm.begin(), bpm.end());
  const std::size_t cut = bpm.size() / 20;
  return {bpm[cut], bpm[bpm.size() - 1 - cut]};
}

}  // namespace beatmarks
