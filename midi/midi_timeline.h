#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/beat_walk.h"
#include "exact/rational.h"
#include "midi/midi_grid.h"

namespace beatmarks {

// A MIDI map's beat grid as stretches: a new one at every tempo change,
// meter change and marker, wherever they fall (a tempo change may fall inside
// a beat, a meter change cuts the measure it falls in). A stretch is named
// by the last marker at or before its beginning, so a name stays until the
// next marker. Within a stretch the
// divisions are evenly spaced in ticks and the tempo is constant, so their
// exact times lie on one line; they are made only for stretches the walk
// visits. Changes closer together than a division still make a stretch each,
// one that holds no division and has number 0: the walk passes over it, a
// picture draws its tempo from its change time on.
class MidiTimeline : public Timeline {
 public:
  MidiTimeline(const MidiGrid& grid, std::int32_t divisions, Rational offset);

  bool Next(Stretch& stretch) override;
  std::unique_ptr<Timeline> Copy() const override { return std::make_unique<MidiTimeline>(*this); }
  // Adds the times of the stretch that Next gave last.
  void AddTimes(Stretch& stretch) override;
  std::optional<double> FirstNearest() const override;
  std::size_t StretchesHint() const override {
    return grid_.tempos.size() + grid_.runs.size() + grid_.markers.size();
  }

 private:
  // The divisions of the current run before the tick (ceiling), as a count.
  DivisionCount DivisionsBefore(const TickFraction& tick) const;
  TickFraction RunEnd() const;
  void EnterRun();
  void SetTempo(Stretch& stretch) const;
  std::optional<std::uint64_t> ChangeInRun(const TickFraction& end) const;
  void TakeMarkers();
  bool OffsetFraction(const ExactTime& start, ExactTime& sum) const;
  // The tick of the first division of the stretch Next gave last.
  TickFraction LastFirstTick() const;

  const MidiGrid& grid_;
  const std::int32_t divisions_;
  // Shared by the copies an index keeps, which are many.
  std::shared_ptr<const Rational> offset_;
  std::size_t run_ = 0;
  std::size_t tempo_ = 0;       // the tempo segment the next stretch starts in
  TickFraction divTicks_{};     // ticks per division in the current run
  DivisionCount runDivisions_ = 0;
  DivisionCount next_ = 0;      // the next division of the run to place
  std::int32_t number_ = 0;
  std::uint64_t begin_ = 0;        // the tick where the next stretch begins
  std::size_t marker_ = 0;         // the first marker not yet in force
  const std::string* name_ = nullptr;  // the marker in force
  // Where the stretch last given begins: its run, its first division there,
  // and the tick of the change that begins it.
  std::size_t lastRun_ = 0;
  DivisionCount lastFirst_ = 0;
  std::uint64_t lastChange_ = 0;
  std::size_t lastTempo_ = 0;  // the tempo segment it begins in (a hint)
  std::pair<std::int32_t, std::int32_t> beatNote_{};  // the current run's beat as a note value
};

}  // namespace beatmarks
