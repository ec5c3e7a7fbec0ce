#pragma once

// The beats of a list found in a recording from the few that were tapped
// (--follow): the tapped beats are snapped and kept as anchors; the places
// between two anchors that the positions say are missing are found among
// the recording's attacks (listen/follow.h), and after the last anchor the
// beats go on until the playing ends, STOP is reached or the beat is lost.
// Every beat lies on a sample of the recording.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fit/beat_list.h"
#include "fit/snapped_beats.h"
#include "listen/follow.h"

namespace beatmarks {

struct BeatsFollowed {
  BeatsSnapped snapped;               // of the anchors
  std::size_t between = 0;            // beats found between anchors
  std::size_t after = 0;              // beats found after the last anchor
  std::size_t placed = 0;             // of those, beats placed between attacks or evenly
  FollowEnd end = FollowEnd::kEndOfPlaying;
  std::vector<std::string> warnings;  // gaps placed evenly, the accents
  // The last beat written and why: "Followed to M.B at T s: the playing
  // ends" (or "the recording ends", "STOP"), or "Lost the beat after M.B at
  // T s: tap from there".
  std::string closing;
  // One a beat of the list: the anchors as snapped, the others followed or
  // placed.
  std::vector<BeatOrigin> origins;
};

struct FollowRequest {
  std::string recording;
  SnapSettings snap;
  std::int64_t firstNumber = 1;       // the first measure's number, in messages
  std::optional<std::int64_t> stop;   // the last measure followed to (an index), if any
  std::vector<bool> tapped;           // one flag a beat: given (an anchor), not filled in
  std::size_t lines = 5;              // warnings a kind, then a count
};

// False with one line in `error` for a recording that cannot serve.
bool FollowBeats(const FollowRequest& request, BeatList& beats, BeatsFollowed& followed,
                 std::string& error);

// "Followed N beats between the taps and M after them, K placed without an attack"
std::string DescribeFollow(const BeatsFollowed& followed);

}  // namespace beatmarks
