#pragma once

// Beats found among a recording's attacks from a few known ones (--follow).
//
// Between two known beats with a given number of beats missing, the beats
// are the sequence of attacks that best fits a smoothly changing tempo: a
// path over the attacks, chosen by dynamic programming, whose cost is the
// change of tempo from one interval to the next (a held note costs no more
// than a fixed amount, so a fermata does not bend the rest) plus what a
// weak attack costs against a strong one. After the last known beat the
// beats go on at the local tempo, each on the attack at its expected time,
// until the recording ends, a limit is reached, or the beat is lost: no
// attack where two beats in a row should be, or two attacks that fit
// equally well.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "listen/attacks.h"

namespace beatmarks {

// The attacks that can be beats: none much weaker than the typical attack
// on the `known` beats (samples, on attacks of the list).
std::vector<Attack> AttacksLikeBeats(const std::vector<Attack>& attacks,
                                     const std::vector<std::int64_t>& known);

enum class Between : std::uint8_t {
  kFound,
  kNoFit,     // no sequence of attacks fits (too few, or tempos out of reach)
  kTooLarge,  // over 32 million candidate beats, or 400 million steps between them
};

// The beats strictly between beats at samples `from` and `to`, `count` of
// them, each on one of `attacks` (in order of samples). `before`: the
// interval before `from` in samples, 0 where there is none. Where none are
// found, `beats` is left empty and the result says why.
Between FollowBetween(const std::vector<Attack>& attacks, std::int64_t from, std::int64_t to,
                      std::size_t count, double before, std::vector<Attack>& beats);

enum class FollowEnd : std::uint8_t {
  kEndOfPlaying,    // nothing is played after the beats found
  kEndOfRecording,  // the next beat would be past the recording's end
  kLimit,         // as many beats as were asked for
  kLost,          // attacks go on, but none (or two) fit where the beats should be
};

struct FollowedOn {
  std::vector<Attack> beats;  // found after the known ones, in order
  std::vector<bool> onAttack;  // per beat: false where it was placed between two found ones
  FollowEnd end = FollowEnd::kEndOfPlaying;
};

// Beats after `known` (at least two, increasing samples), at most `most` of
// them, before sample `end`.
FollowedOn FollowOn(const std::vector<Attack>& attacks, const std::vector<std::int64_t>& known,
                    std::size_t most, std::int64_t end, std::uint32_t rate);

}  // namespace beatmarks
