#include "listen/snap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "listen/attacks.h"
#include "listen/recording_reader.h"
#include "listen/snap_choice.h"

namespace beatmarks {
namespace {

std::string Seconds(double seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

// Taps are times on the recording, in order, none past its end.
bool CheckTaps(const std::vector<double>& taps, const std::string& path, const RecordingReader& reader,
               std::string& error) {
  const double length = static_cast<double>(reader.Frames()) / reader.Rate();
  for (std::size_t i = 0; i < taps.size(); ++i) {
    const std::string name = "tap " + std::to_string(i + 1);
    if (!std::isfinite(taps[i]) || taps[i] < 0) {
      error = name + " is not a time on the recording";
      return false;
    }
    if (i > 0 && taps[i] < taps[i - 1]) {
      error = name + " comes before tap " + std::to_string(i);
      return false;
    }
    if (taps[i] > length) {
      error = path + ": " + name + " at " + Seconds(taps[i]) + " is past its end (" + Seconds(length) + ")";
      return false;
    }
  }
  return true;
}

// The detector's rises wherever a window may reach once the lag, up to
// `lagLimit` either way, moves it: each stretch scanned once, in order.
bool RisesAroundTaps(AttackScanner& scanner, const std::vector<double>& taps,
                     const std::vector<TapWindow>& windows, double rate, double lagLimit,
                     std::vector<OnsetPeak>& rises, std::string& error) {
  std::int64_t scanned = 0;
  for (std::size_t i = 0; i < taps.size(); ++i) {
    const auto from = static_cast<std::int64_t>(std::floor((taps[i] - windows[i].before - lagLimit) * rate));
    const auto to = static_cast<std::int64_t>(std::ceil((taps[i] + windows[i].after + lagLimit) * rate)) + 1;
    const std::int64_t start = std::max(from, scanned);
    if (start < to && !scanner.ScanRises(start, to, rises, error)) return false;
    scanned = std::max(scanned, to);
  }
  return true;
}

// A window too short to be sure of holding a sample: 2 x window x rate < 1.
// (A window of 0, which the command line never gives, leaves each beat on
// the sample nearest its tap.)
bool SamplesTooFarApart(const std::string& path, double window, std::uint32_t rate, std::string& error) {
  if (window <= 0 || 2 * window * rate >= 1) return false;
  char text[160];
  std::snprintf(text, sizeof text, "its samples lie %.6g s apart (%u Hz), more than the snap window spans (%.6g s either way of a tap)",
                1.0 / rate, rate, window);
  error = path + ": " + text;
  return true;
}

// The frames within `window` seconds of the tap (the nearest, where none
// is) and within the recording.
void Bound(SnappedBeat& beat, double tap, double window, double rate, std::int64_t frames) {
  // A hair of room, so that a frame right on the window's edge stays in.
  constexpr double kHair = 1e-9;
  auto earliest = static_cast<std::int64_t>(std::ceil((tap - window) * rate - kHair));
  auto latest = static_cast<std::int64_t>(std::floor((tap + window) * rate + kHair));
  if (earliest > latest) earliest = latest = std::llround(tap * rate);
  beat.earliest = std::clamp<std::int64_t>(earliest, 0, frames);
  beat.latest = std::clamp<std::int64_t>(latest, 0, frames);
  beat.sample = std::clamp(beat.sample, beat.earliest, beat.latest);
}

}  // namespace

bool SnapTaps(const std::string& recordingPath, const std::vector<double>& taps, const SnapSettings& settings,
              SnapResult& result, std::string& error) {
  result = {};
  RecordingReader reader;
  if (!reader.Open(recordingPath, error)) return false;
  if (!CheckTaps(taps, recordingPath, reader, error)) return false;
  if (SamplesTooFarApart(recordingPath, WindowOf(settings), reader.Rate(), error)) return false;
  result.rate = reader.Rate();
  result.frames = reader.Frames();
  const double rate = reader.Rate();
  const std::vector<TapWindow> windows = TapWindows(taps, settings);
  const double lagLimit = WindowOf(settings) / 2;
  AttackScanner scanner(reader);
  std::vector<OnsetPeak> rises;
  if (!RisesAroundTaps(scanner, taps, windows, rate, lagLimit, rises, error)) return false;
  result.lagSeconds = EstimateLag(taps, windows, rises, reader.Rate(), lagLimit);

  std::optional<std::size_t> placedRise;
  std::int64_t placedSample = 0;
  for (std::size_t i = 0; i < taps.size(); ++i) {
    const double centre = (taps[i] - result.lagSeconds) * rate;
    auto chosen = ChooseRise(rises, centre, windows[i].before * rate, windows[i].after * rate);
    const bool clear = chosen.has_value();
    if (!clear) chosen = ChooseWeakRise(rises, centre, std::min(windows[i].before, kWeakReach) * rate,
                                        std::min(windows[i].after, kWeakReach) * rate);
    SnappedBeat beat;
    float newSoundDb = 0;
    const bool again = chosen && chosen == placedRise;
    if (chosen && !again) {
      if (!scanner.Place(rises[*chosen], placedSample, error, &newSoundDb)) return false;
      placedRise = chosen;
    }
    // A weak rise is an attack only where a new sound starts there.
    if (!clear && (again || newSoundDb < kClearAttackDb)) chosen.reset();
    if (chosen) {
      beat.sample = placedSample;
      beat.snapped = true;
      beat.strengthDb = rises[*chosen].strengthDb;
    } else {
      beat.sample = std::llround(centre);
    }
    Bound(beat, taps[i], WindowOf(settings), rate, result.frames);
    beat.shiftSeconds = static_cast<double>(beat.sample) / rate - taps[i];
    result.beats.push_back(beat);
  }
  Summarise(result);
  return true;
}

}  // namespace beatmarks
