#pragma once

// Every beat of a recording heard without a tap: the beat's period from how
// the attacks recur (the autocorrelation of their strengths, over the
// tempos people play), two beats to start from where two strong attacks lie
// a period apart, and from there the beats followed both ways as --follow
// follows them (listen/follow.h), each on its attack's first sample. The
// meter, where not given, and the downbeats come from the low accents
// (listen/low_accents.h): the beat of the measure where the low sound
// starting is loudest is beat 1.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace beatmarks {

struct HeardBeats {
  std::uint32_t rate = 0;
  std::int64_t frames = 0;
  std::vector<std::int64_t> samples;  // every beat heard, in order
  std::int32_t meter = 4;             // beats a measure
  std::int32_t before = 0;            // beats before the first downbeat
  bool meterHeard = false;            // the meter found, not given
  bool compound = false;              // each beat a dotted quarter (given or heard)
  // The beats after which the beat was lost while the playing went on:
  // the next beats heard (three strong attacks a beat apart) follow as if
  // the lost beat were held, so the numbers after each are a guess.
  std::vector<std::size_t> lostAfter;
  // Beats placed evenly through a rest (no attack: the playing stopped for
  // a whole number of beats at the tempo either side), by index.
  std::vector<std::size_t> placed;
  // Beats 1 and 3 sound alike and no chord says which is 1 (drums alone),
  // or the accents hardly choose the meter and no chord does: the bar line
  // is a guess.
  bool barUnsure = false;
  // Attacks halfway between the beats sound as the beats do: the beat
  // might as well be twice as fast, so the tempo is a guess.
  bool tempoUnsure = false;
};

// What the hearing is told: the meter (0: find 3 or 4 beats of a quarter, or
// 2 or 3 dotted quarters where the beats are divided in three) and the beats
// before the first downbeat (nothing: find them).
struct HearingRequest {
  std::string path;
  std::int32_t meter = 0;
  bool compound = false;  // the beat a dotted quarter (6/8, 9/8, 12/8)
  std::optional<std::int32_t> before;
};

// False with one line in `error` for a file that cannot be read, or one
// that holds no beat to hear ("no beat heard in it: silence, noise or
// sounds that do not recur").
bool HearBeats(const HearingRequest& request, HeardBeats& heard, std::string& error);

// The tempos the beats move between, in bpm, the fastest and slowest
// twentieth left out: {low, high}.
std::pair<double, double> TempoRange(const HeardBeats& heard);

}  // namespace beatmarks
