#pragma once

// Tapped beats moved onto the attacks they mark in a recording.
//
// Each tap is searched for in a window around it (at most `window` seconds
// either way, and never more than `neighbourFraction` of the interval to
// either neighbour), centred on the tap less the taps' typical lag: the
// median of tap - attack over the taps whose window holds a clear attack.
// The tap takes the strongest clear attack of its window, or, of those
// within 3 dB of the strongest, the one nearest the centre; its beat lies on
// that attack's first sample (listen/first_sample.h). A tap whose window
// holds no clear attack keeps its time less the lag, rounded to a sample,
// and is flagged. The recording is read only around the taps.
//
// No beat moves further from its tap than the window, nor past the
// recording's end: an attack whose first sample lies further is taken at the
// window's edge.
//
// Every call returns its refusal as one line in `error` (no printing):
// a file libsndfile cannot read, one without samples, a tap past the end of
// the recording, taps that are not times in increasing order, a rate so low
// that a window may hold no sample at all, and any call
// in a build without libsndfile ("this build has no audio support
// (libsndfile)").

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace beatmarks {

struct SnapSettings {
  double window = 0.080;            // seconds either way of the tap, at most (up to 1 s)
  double neighbourFraction = 0.4;   // of the interval to each neighbour, at most (up to 0.5)
};

struct SnappedBeat {
  std::int64_t sample = 0;   // the beat's frame; its time is sample / rate exactly
  // The frames the beat may take: within the window of its tap, and within
  // the recording (its end included); `sample` lies among them.
  std::int64_t earliest = 0;
  std::int64_t latest = 0;
  bool snapped = false;      // on an attack (false: the tap less the lag)
  double shiftSeconds = 0;   // sample / rate - tap
  float strengthDb = 0;      // the attack's rise (0 where not snapped)
  // On (or within 10 ms after, or before) the previous beat's sample: a
  // double tap, or two taps on one attack. The caller drops one of them.
  bool doubled = false;
};

struct SnapResult {
  std::uint32_t rate = 0;
  std::int64_t frames = 0;
  std::vector<SnappedBeat> beats;  // one a tap, in order
  double lagSeconds = 0;           // the taps' typical lateness, subtracted before the search
  std::size_t snappedCount = 0;
  std::size_t doubledCount = 0;
  double medianShiftMs = 0;        // of |shift| over the snapped beats
  double largestShiftMs = 0;
};

// `taps` in seconds on the recording's clock, increasing (equal taps are
// allowed and come out doubled).
bool SnapTaps(const std::string& recordingPath, const std::vector<double>& taps,
              const SnapSettings& settings, SnapResult& result, std::string& error);

}  // namespace beatmarks
