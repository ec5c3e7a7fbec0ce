#pragma once

// The decisions of the snap on the detector's rises, apart from reading the
// recording: each tap's window, the taps' lag, the rise a tap takes, and the
// summary of the shifts.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "listen/onset_curve.h"
#include "listen/snap.h"

namespace beatmarks {

// A rise this strong is a clear attack.
inline constexpr float kClearAttackDb = 10.0f;
// Rises within this much of the strongest count as close in strength.
inline constexpr float kCloseInStrengthDb = 3.0f;

// Seconds the window reaches before and after a tap.
struct TapWindow {
  double before = 0;
  double after = 0;
};

// The window setting, held to [0, kLongestWindow] (0 where it is not a number).
inline constexpr double kLongestWindow = 1.0;
double WindowOf(const SnapSettings& settings);

std::vector<TapWindow> TapWindows(const std::vector<double>& taps, const SnapSettings& settings);

// The rise that a window [centre - before, centre + after] (in frames)
// means, as an index into `rises` (in order of frames); none without a clear
// attack there.
std::optional<std::size_t> ChooseRise(const std::vector<OnsetPeak>& rises, double centre, double before,
                                      double after);

// Without a clear attack, the strongest rise within `before` and `after`
// frames of the centre: a soft note over others still ringing rises little
// in power, and its first sample is still found (listen/first_sample.h).
inline constexpr double kWeakReach = 0.030;  // seconds either way of the tap, at most
std::optional<std::size_t> ChooseWeakRise(const std::vector<OnsetPeak>& rises, double centre, double before,
                                          double after);

// The median of tap - attack over the taps whose window, centred on the
// tap, holds a clear attack; 0 where none does. In seconds, within
// [-limit, limit].
double EstimateLag(const std::vector<double>& taps, const std::vector<TapWindow>& windows,
                   const std::vector<OnsetPeak>& rises, std::uint32_t rate, double limit);

// Flags doubled beats and fills the counts and shifts of `result`.
void Summarise(SnapResult& result);

}  // namespace beatmarks
