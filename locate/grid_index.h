#pragma once

// Places times on the beat grid: which beat a time falls in, and the
// division nearest to it. The grid's stretches are walked once into an index
// of where each begins (its nearest double and its first division, some 24
// bytes; their exact times are kept for the first stretches only, and made
// again for others as a time needs them: locate/part_times.h); each time then
// takes a binary search and a handful of correctly rounded doubles. What those cannot settle (a deviation near a
// rounding half, a near tie) is settled in fixed point; what that cannot (a
// time on a division, an exact half) exactly: in machine integers where the
// fractions fit, else in big integers.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/beat_walk.h"
#include "exact/exact_time.h"
#include "exact/rational.h"
#include "locate/fixed_span.h"
#include "locate/part_times.h"
#include "locate/sorted_search.h"

namespace beatmarks {

// Where a time falls. Measures, beats and divisions count from 0. Before the
// first division, or from the end of the last on (the time the next would
// have), a time is outside the grid and nothing else is set.
struct Position {
  enum class Where { kBefore, kIn, kAfter };
  Where where = Where::kIn;
  // The beat the time falls in, and how far into it in millionths of the
  // beat, truncated: 0 to 999,999.
  std::int64_t measure = 0;
  std::int32_t beat = 0;
  std::uint32_t intoBeat = 0;
  // The division nearest to the time; halfway between two, the later one.
  // In the last division of the map, with none after it, that one.
  std::int64_t nearestMeasure = 0;
  std::int32_t nearestBeat = 0;
  std::int32_t nearestDivision = 0;
  // The time less the nearest division's time: its sign, and its magnitude
  // rounded once (a half up) to millionths and billionths of a second and to
  // samples at the rate asked for.
  bool early = false;
  unsigned __int128 micros = 0, nanos = 0, samples = 0;
  // Where one of those would pass 2^128 - 1 (a distance of some 10^29 s),
  // all three are 0 and this is the exact magnitude: RoundedMagnitude rounds it.
  std::optional<Rational> wide;

  friend bool operator==(const Position&, const Position&) = default;
};

// floor(magnitude x scale + 1/2), in full.
BigInt RoundedMagnitude(const Rational& magnitude, std::uint32_t scale);

// Keeps exact forms of its stretches as it needs them: one index is for one
// thread at a time.
class GridIndex {
 public:
  // Walks the whole timeline, which must give exact times (one made with an
  // offset), with `divisions` per beat as it was made with; `also` sees each
  // stretch first (the names of sections are taken in the same walk). The
  // index keeps copies of the timeline: the map it reads must outlive it.
  // The first `keptParts` stretches with divisions keep their exact times.
  // Nothing, with `error` set, for a stretch without times or without beats.
  using StretchVisitor = std::function<void(Stretch&, Timeline&)>;
  static std::optional<GridIndex> Build(Timeline& timeline, std::int32_t divisions, std::string& error,
                                        const StretchVisitor& also = nullptr,
                                        std::size_t keptParts = PartTimes::kKeptParts);

  // A time as TIMES writes it (IsTimeText), with sample positions at `rate`.
  // One whose whole part has more digits than the end's lies outside the
  // grid and is told so from its digits alone, however many it has.
  Position Locate(std::string_view time, std::uint32_t rate) const;
  // The same from an exact time, all in exact arithmetic.
  Position LocateExact(const Rational& time, std::uint32_t rate) const;

  // Drops the tables of starts and of divisions, as a grid too long to
  // table has none: every answer stays the same (the tests check both ways).
  void DropTables() {
    startSearch_ = SortedSearch();
    chunks_.clear();
  }

  std::int32_t divisions() const { return divisions_; }
  std::size_t stretches() const { return firsts_.size(); }

 private:
  using u128 = unsigned __int128;

  // Parts (stretches that hold divisions) whose measures run on from one
  // another in one meter: the first's place, from which each part's follows.
  struct Meter {
    u128 first;               // the first part's first division
    std::int64_t firstMeasure;
    u128 into;                // divisions of that measure before it
    std::int32_t beatsPerMeasure;
  };
  struct Fraction {
    __int128 num;
    __int128 den;  // > 0
  };

  // Division g (the one the time falls in) and what follows from it.
  struct Place {
    std::size_t part;
    u128 g;
    u128 beatStart, beatEnd;  // divisions that begin its beat and the next
    std::int64_t measure;
    std::int32_t beat;
    std::int32_t division;
  };

  GridIndex(std::int32_t divisions, std::size_t keptParts) : divisions_(divisions), times_(keptParts) {}

  // Build's steps (grid_build.cpp): a part added, the end; and a chunk of
  // the table, made when first needed.
  void Reserve(std::size_t parts);
  void AddPart(const Stretch& stretch, double start, std::int64_t into);
  void Finish();
  const double* Chunk(std::size_t c) const;

  u128 Count(std::size_t part) const {
    return (part + 1 < firsts_.size() ? firsts_[part + 1] : total_) - firsts_[part];
  }
  // About the time of a division of the part, for a first guess.
  double StepOf(std::size_t part) const;
  const Meter& MeterOf(std::size_t part) const;
  // The nearest double of division k of a part (k up to its count: the
  // next part's start, or the end).
  double DivisionNearest(std::size_t part, u128 k) const;

  Place PlaceOf(std::size_t part, u128 k) const;
  std::size_t PartOf(u128 g, std::size_t hint) const;
  double NearestAt(u128 g, std::size_t hint) const;
  bool FractionAt(u128 g, std::size_t hint, Fraction& time) const;
  Rational ExactAt(u128 g, std::size_t hint) const;
  void SetNearest(const Place& place, bool later, Position& position) const;
  // The fast way (grid_probe.cpp): false when the doubles and small
  // fractions cannot settle it. Its steps each take the time's probe on.
  struct Probe {
    std::string_view text;  // the time as written
    double t;               // its nearest double
    std::uint32_t rate;
    Fraction exact{0, 0};   // its exact value, made when first needed
    std::size_t part = 0;   // the part it falls in
    double low = 0, high = 0;  // the times of its division and the next
    int onLow = 0;             // the sign of t less the time of its division
    Place place{};
    double beatStart = 0, beatEnd = 0, e = 0;  // its beat, and the error bound
    Fraction toLow{0, 0}, toHigh{0, 0};        // exact distances, made when needed
    bool later = false;                         // the next division is the nearest
    FixedSpan fixed{};  // its bounds in fixed point, made when first needed
    int fixedMade = 0;  // 1 made, -1 where the fixed point cannot hold it
  };
  enum class Step { kOn, kDone, kUndecided };
  bool LocateFast(std::string_view text, std::uint32_t rate, Position& position) const;
  bool ExactTime(Probe& probe) const;
  bool FixedTime(Probe& probe) const;
  bool FixedAt(u128 g, std::size_t hint, FixedSpan& span) const;
  // In fixed point: whether the next division is the nearer (2: undecided),
  // a distance rounded, how far into its beat.
  int LaterFixed(Probe& probe) const;
  bool RoundedFixed(Probe& probe, std::uint64_t scale, u128& rounded) const;
  bool IntoBeatFixed(Probe& probe, double z, double errorZ, Position& position) const;
  // The sign of t less the time of division g (its double `near`), 2 where
  // that does not fit.
  int Order(Probe& probe, u128 g, std::size_t hint, double near) const;
  Step FindPart(Probe& probe, Position& position) const;
  bool FindDivision(Probe& probe) const;
  bool BeatBounds(Probe& probe) const;
  bool ExactDistance(Probe& probe, bool next) const;
  bool Nearest(Probe& probe, Position& position) const;
  bool IntoBeat(Probe& probe, Position& position) const;

  std::int32_t divisions_;
  std::vector<double> starts_;  // nearest doubles of the parts' starts, for the search
  std::vector<u128> firsts_;    // the parts' first divisions
  std::vector<Meter> meters_;
  std::vector<std::uint32_t> meterOf_;  // each part's
  PartTimes times_;
  u128 total_ = 0;              // divisions in all
  double end_ = 0;              // nearest double of the end
  std::size_t endDigits_ = 1;   // digits of the end's whole seconds
  SortedSearch startSearch_;    // over starts_
  // Every division's nearest double and the end's, for a grid of at most
  // kTabledDivisions (8 bytes each); else empty. In chunks of kChunkParts
  // parts, each made when a time first needs one of its divisions.
  static constexpr u128 kTabledDivisions = u128{1} << 21;
  static constexpr std::size_t kChunkParts = 16;
  mutable std::vector<std::unique_ptr<double[]>> chunks_;
};

}  // namespace beatmarks
