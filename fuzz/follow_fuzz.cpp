// Any list of attacks followed: between two known beats the path has
// exactly the beats asked for, each an attack strictly between them and in
// order; after the known beats the beats go on in order, before the end,
// never more than asked for. Neither may hang (the fuzzer's time-out).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "listen/follow.h"

namespace {

using namespace beatmarks;

// Two bytes a gap to the next attack, one its strength.
std::vector<Attack> AttacksOf(const std::uint8_t* data, std::size_t size, std::int64_t start) {
  std::vector<Attack> attacks;
  std::int64_t at = start;
  for (std::size_t i = 0; i + 3 <= size; i += 3) {
    at += 1 + (data[i] | data[i + 1] << 8);
    attacks.push_back({at, static_cast<float>(data[i + 2] % 64)});
  }
  return attacks;
}

void SearchBetween(const std::vector<Attack>& attacks, std::size_t count, double before) {
  if (attacks.size() < 2) return;
  const std::int64_t from = attacks.front().sample, to = attacks.back().sample;
  std::vector<Attack> beats;
  if (FollowBetween(attacks, from, to, count, before, beats) != Between::kFound) {
    if (!beats.empty()) std::abort();
    return;
  }
  if (beats.size() != count) std::abort();
  std::int64_t last = from;
  for (const Attack& b : beats) {
    if (b.sample <= last || b.sample >= to) std::abort();
    last = b.sample;
  }
}

void On(const std::vector<Attack>& attacks, std::size_t most) {
  if (attacks.size() < 3) return;
  const std::vector<std::int64_t> known = {attacks[0].sample, attacks[1].sample, attacks[2].sample};
  const std::int64_t end = attacks.back().sample + 5000;
  const FollowedOn on = FollowOn(attacks, known, most, end, 1000);
  if (on.beats.size() > most || on.onAttack.size() != on.beats.size()) std::abort();
  std::int64_t last = known.back();
  for (const Attack& b : on.beats) {
    if (b.sample <= last || b.sample >= end) std::abort();
    last = b.sample;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::size_t count = data[0] | (data[1] & 0x3F) << 8;
  const double before = data[2] * 10.0;
  const std::vector<Attack> attacks = AttacksOf(data + 4, size - 4, data[3]);
  SearchBetween(attacks, count, before);
  On(attacks, count);
  return 0;
}
