// The picture of generated MIDI maps against times worked out here from the
// events alone: a step at every tempo change, also inside a beat, in quarter
// notes a minute whatever the beat; meters and the end in place.
#include <gtest/gtest.h>

#include <vector>

#include "exact/exact_time.h"
#include "midi/midi_file.h"
#include "midi/midi_grid.h"
#include "midi/midi_timeline.h"
#include "midi_bytes.h"
#include "picture/picture_builder.h"

namespace beatmarks {
namespace {

using testing::MidiHeader;
using testing::TrackBytes;

constexpr int kTicksPerQuarter = 480;

// A tempo event (micros > 0), a time signature (numerator > 0) or both.
struct Change {
  std::uint32_t tick;
  std::uint32_t micros = 0;
  int numerator = 0, power = 0, clocks = 24;
};

struct Song {
  const char* name;
  std::vector<Change> changes;  // in tick order, tempo and meter at tick 0
  std::uint32_t endTick;
};

std::string Bytes(const Song& song) {
  TrackBytes track;
  std::uint32_t now = 0;
  for (const Change& c : song.changes) {
    if (c.numerator > 0) track.Meter(c.tick - now, c.numerator, c.power, c.clocks);
    if (c.micros > 0) track.Tempo(c.numerator > 0 ? 0 : c.tick - now, c.micros);
    now = c.tick;
  }
  return MidiHeader(0, 1, kTicksPerQuarter) + track.End(song.endTick - now).Chunk();
}

// Seconds at a tick, summed over the tempo events before it.
Rational SecondsAt(const Song& song, std::uint32_t tick) {
  Rational seconds;
  std::uint32_t from = 0, micros = 500000;
  for (const Change& c : song.changes) {
    if (c.micros == 0) continue;
    if (c.tick >= tick) break;
    seconds += Rational(std::int64_t{c.tick - from} * micros) / Rational(kTicksPerQuarter * 1000000);
    from = c.tick;
    micros = c.micros;
  }
  return seconds + Rational(std::int64_t{tick - from} * micros) / Rational(kTicksPerQuarter * 1000000);
}

// The picture's steps as a sequencer shows them (a repeated tempo is no
// change), its meter marks and its end.
TempoPicture Expected(const Song& song) {
  TempoPicture p;
  for (const Change& c : song.changes) {
    const double at = NearestDouble(SecondsAt(song, c.tick));
    if (c.micros > 0 && (p.steps.empty() || p.steps.back().bpm != 60e6 / c.micros)) {
      p.steps.push_back({at, 60e6 / c.micros});
    }
    if (c.numerator > 0) {
      p.meters.push_back({at, std::to_string(c.numerator) + "/" + std::to_string(1 << c.power)});
    }
  }
  p.end = NearestDouble(SecondsAt(song, song.endTick));
  return p;
}

std::vector<Song> Songs() {
  // One tempo event a sixteenth for four bars of 4/4, slowing a little each time.
  Song ramp{"sixteenth ramp", {{0, 500000, 4, 2}}, 4 * 1920};
  for (std::uint32_t i = 1; i < 64; ++i) ramp.changes.push_back({i * 120, 500000 + i * 3001});
  // 4/4 at 120; 6/8 clicking in dotted quarters at 140 a quarter, with the
  // tempo repeated; 2/4 with no tempo event; a change inside the last beat.
  Song sixEight{"6/8 at 140",
                {{0, 500000, 4, 2},
                 {1920, 428571, 6, 3, 36},
                 {2400, 428571},
                 {3360, 0, 2, 2},
                 {4250, 600000}},
                4320};
  return {ramp, sixEight};
}

TempoPicture Picture(const std::string& bytes, BeatUnit unit, int divisions) {
  std::string error;
  const std::optional<MidiMap> map = ReadMidi(bytes, error);
  EXPECT_TRUE(map) << error;
  const std::optional<MidiGrid> grid = BuildGrid(*map, unit, error);
  EXPECT_TRUE(grid) << error;
  MidiTimeline timeline(*grid, divisions, Rational());
  return BuildPicture(timeline, divisions, "song");
}

TEST(MidiPicture, EveryTempoChangeIsAStepInQuarterNotes) {
  for (const Song& song : Songs()) {
    const TempoPicture want = Expected(song);
    for (BeatUnit unit : {BeatUnit::kDenominator, BeatUnit::kQuarter, BeatUnit::kClick}) {
      for (int divisions : {1, 2, 4}) {
        SCOPED_TRACE(::testing::Message() << song.name << ", unit " << int(unit) << ", "
                                          << divisions << " divisions");
        const TempoPicture got = Picture(Bytes(song), unit, divisions);
        EXPECT_EQ(got.tempoUnit, TempoUnit::kQuarterNotes);
        ASSERT_EQ(got.steps.size(), want.steps.size());  // 64 for the ramp
        for (std::size_t i = 0; i < want.steps.size(); ++i) {
          EXPECT_EQ(got.steps[i].start, want.steps[i].start) << "step " << i;
          EXPECT_EQ(got.steps[i].bpm, want.steps[i].bpm) << "step " << i;
        }
        ASSERT_EQ(got.meters.size(), want.meters.size());
        for (std::size_t i = 0; i < want.meters.size(); ++i) {
          EXPECT_EQ(got.meters[i].time, want.meters[i].time);
          EXPECT_EQ(got.meters[i].label, want.meters[i].label);
        }
        EXPECT_EQ(got.end, want.end);
      }
    }
  }
}

}  // namespace
}  // namespace beatmarks
