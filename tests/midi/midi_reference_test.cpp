// Random and hand-picked tempo maps written as MIDI files (by hand, and by
// python3-mido as an independent writer), read back, and their grids and
// times checked against a plain walk in exact rationals.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <boost/multiprecision/cpp_int.hpp>
#include <cstdlib>
#include <map>
#include <random>

#include "core/beat_walk.h"
#include "e2e/run_program.h"
#include "midi/midi_grid.h"
#include "midi/midi_timeline.h"
#include "midi_bytes.h"

namespace beatmarks {
namespace {

using namespace testing;
using Z = boost::multiprecision::cpp_int;
using Q = boost::multiprecision::cpp_rational;

struct Event {
  std::uint64_t tick;
  char kind;  // 'T' tempo, 'M' time signature, 'N' note, 'K' marker "K<a>", 'E' end of track (last)
  std::uint32_t a;
  int b, c;
};

struct Song {
  int format, tpq;
  std::vector<std::vector<Event>> tracks;
};

std::string MarkerText(std::uint32_t id) {
  std::string text(1, 'K');
  return text += std::to_string(id);
}

std::string Bytes(const Song& s) {
  std::string file = MidiHeader(s.format, int(s.tracks.size()), s.tpq);
  for (const auto& events : s.tracks) {
    TrackBytes track;
    std::uint64_t tick = 0;
    char last = 0;
    for (const Event& e : events) {
      std::uint32_t delta = std::uint32_t(e.tick - tick);
      tick = e.tick;
      if (e.kind == 'T') track.Tempo(delta, e.a);
      if (e.kind == 'M') track.Meter(delta, int(e.a), e.b, e.c);
      if (e.kind == 'N') track.Raw(delta, last == 'N' ? "\x3C\x40" : "\x90\x3C\x40");
      if (e.kind == 'K') track.Meta(delta, 6, MarkerText(e.a));
      if (e.kind == 'E') track.End(delta);
      last = e.kind;
    }
    file += track.Chunk();
  }
  return file;
}

// Reads lines "file PATH FORMAT TPQ", "track" and "KIND DELTA A B C".
const char* kMidoWriter = R"(import sys, mido
def message(kind, delta, a, b, c):
    if kind == 'T': return mido.MetaMessage('set_tempo', tempo=a, time=delta)
    if kind == 'M': return mido.MetaMessage('time_signature', numerator=a, denominator=2 ** b,
                                            clocks_per_click=c, time=delta)
    if kind == 'N': return mido.Message('note_on', note=60, velocity=64, time=delta)
    if kind == 'K': return mido.MetaMessage('marker', text='K%d' % a, time=delta)
    return mido.MetaMessage('end_of_track', time=delta)
files = []
for w in (line.split() for line in open(sys.argv[1])):
    if w[0] == 'file': files.append((w[1], mido.MidiFile(type=int(w[2]), ticks_per_beat=int(w[3]))))
    elif w[0] == 'track': files[-1][1].tracks.append(mido.MidiTrack())
    else: files[-1][1].tracks[-1].append(message(w[0], *map(int, w[1:])))
for path, f in files: f.save(path)
)";

std::string MidoLines(const Song& s, const std::string& path) {
  std::string text = "file " + path + " " + std::to_string(s.format) + " " +
                     std::to_string(s.tpq) + "\n";
  for (const auto& events : s.tracks) {
    text += "track\n";
    std::uint64_t tick = 0;
    for (const Event& e : events) {
      text += std::string(1, e.kind) + " " + std::to_string(e.tick - tick) + " " +
              std::to_string(e.a) + " " + std::to_string(e.b) + " " + std::to_string(e.c) + "\n";
      tick = e.tick;
    }
  }
  return text;
}

// The map as read: at each tick the last change read wins, defaults at tick 0.
MidiMap Merged(const Song& s) {
  std::map<std::uint64_t, MidiTempo> tempos{{0, {0, 500000}}};
  std::map<std::uint64_t, MidiMeter> meters{{0, {0, 4, 2, 24}}};
  MidiMap map{s.format, s.tpq, {}, {}, 0};
  for (const auto& track : s.tracks) {
    for (const Event& e : track) {
      if (e.kind == 'T') tempos[e.tick] = {e.tick, e.a};
      if (e.kind == 'M') meters[e.tick] = {e.tick, int(e.a), e.b, e.c};
      if (e.kind == 'K') map.markers.push_back({e.tick, MarkerText(e.a)});
      map.endTick = std::max(map.endTick, e.tick);
    }
  }
  for (auto& [tick, t] : tempos) map.tempos.push_back(t);
  for (auto& [tick, m] : meters) map.meters.push_back(m);
  std::stable_sort(map.markers.begin(), map.markers.end(),
                   [](const MidiMarker& a, const MidiMarker& b) { return a.tick < b.tick; });
  return map;
}

struct Division {
  std::uint32_t measure, beat, division;
  Q tick;
  bool operator==(const Division&) const = default;
};

// Bar by bar, beat by beat: the refused measure, or empty and the divisions.
std::string Walk(const MidiMap& map, BeatUnit unit, std::uint32_t per, std::vector<Division>& out) {
  std::uint32_t measure = 0;
  int tpq = map.ticksPerQuarter;
  for (std::size_t i = 0; i < map.meters.size() && map.meters[i].tick < map.endTick; ++i) {
    const MidiMeter& m = map.meters[i];
    Q length = Q(m.numerator * 4 * tpq, 1 << m.denominatorPower);
    Q limit = i + 1 < map.meters.size() ? Q(map.meters[i + 1].tick) : map.endTick + length;
    Q beat = unit == BeatUnit::kQuarter ? Q(tpq)
             : unit == BeatUnit::kClick ? Q(tpq * m.clocksPerClick, 24)
                                        : Q(4 * tpq, 1 << m.denominatorPower);
    if (beat == 0 || denominator(Q(length / beat)) != 1) {
      return "measure " + std::to_string(measure + 1);
    }
    for (Q bar = m.tick; bar < limit && bar < map.endTick; bar += length) {
      ++measure;
      for (int b = 0; b < numerator(Q(length / beat)); ++b) {
        for (std::uint32_t d = 0; d < per; ++d) {
          Q at = bar + b * beat + d * beat / per;
          if (at < limit) out.push_back({measure, std::uint32_t(b + 1), d + 1, at});
        }
      }
    }
  }
  return "";
}

// Seconds at a tick, summing the tempos' spans before it.
Q Seconds(const MidiMap& map, const Q& tick) {
  Q time = 0;
  for (std::size_t i = 0; i < map.tempos.size() && map.tempos[i].tick < tick; ++i) {
    Q next = i + 1 < map.tempos.size() ? Q(map.tempos[i + 1].tick) : tick;
    time += (std::min(next, tick) - map.tempos[i].tick) * map.tempos[i].microsPerQuarter;
  }
  return time / (Q(map.ticksPerQuarter) * 1000000);
}

// Reads the file and checks its map, its grid and the times of its divisions.
// Every division the beat walk takes from the stretches of a MIDI timeline.
struct Walked {
  std::uint32_t measure, beat, division;
  Q time;
  std::string name;  // the stretch's
};

// The marker in force at a tick: the last read at or before it.
std::string NameAt(const MidiMap& map, const Q& tick) {
  std::string name;
  for (const MidiMarker& m : map.markers) {
    if (Q(m.tick) > tick) break;
    name = m.text;
  }
  return name;
}

class Collect : public BeatSink {
 public:
  void Pass(const Stretch&, DivisionCount) override {}
  void Division(const BeatEvent& e) override {
    Rational t = e.stretch.time->At(e.index);
    all.push_back({std::uint32_t(e.measure + 1), std::uint32_t(e.beat + 1),
                   std::uint32_t(e.division + 1),
                   Q(Z(t.numerator().ToDecimal()), Z(t.denominator().ToDecimal())),
                   e.stretch.name != nullptr ? *e.stretch.name : ""});
  }
  void MeasureEnd(std::int64_t) override {}
  std::vector<Walked> all;
};

// The walk over the timeline's stretches, from measure `from` on, gives the
// divisions of the plain walk at their exact times.
void CheckStretches(const MidiGrid& grid, const MidiMap& want, std::uint32_t per,
                    const std::vector<Division>& divisions, std::uint32_t from) {
  MidiTimeline timeline(grid, static_cast<std::int32_t>(per), Rational());
  Collect sink;
  WalkBeats(timeline, from - 1, grid.measureCount, static_cast<std::int32_t>(per), sink);
  std::size_t i = 0;
  while (i < divisions.size() && divisions[i].measure < from) ++i;
  ASSERT_EQ(sink.all.size(), divisions.size() - i);
  for (const Walked& w : sink.all) {
    const Division& d = divisions[i++];
    ASSERT_EQ((Division{w.measure, w.beat, w.division, d.tick}), d);
    ASSERT_EQ(w.time, Seconds(want, d.tick)) << w.measure << "." << w.beat << "." << w.division;
    ASSERT_EQ(w.name, NameAt(want, d.tick)) << w.measure << "." << w.beat << "." << w.division;
  }
}

void Check(const std::string& bytes, const Song& song, BeatUnit unit, std::uint32_t per) {
  std::string error;
  auto map = ReadMidi(bytes, error);
  ASSERT_TRUE(map) << error;
  MidiMap want = Merged(song);
  ASSERT_EQ(map->endTick, want.endTick);
  ASSERT_EQ(map->tempos.size(), want.tempos.size());
  for (std::size_t i = 0; i < want.tempos.size(); ++i) {
    EXPECT_EQ(map->tempos[i].tick, want.tempos[i].tick);
    EXPECT_EQ(map->tempos[i].microsPerQuarter, want.tempos[i].microsPerQuarter);
  }
  std::vector<Division> divisions;
  std::string refusal = Walk(want, unit, per, divisions);
  auto grid = BuildGrid(*map, unit, error);
  ASSERT_EQ(grid ? "" : error.substr(0, error.find(':')), refusal);
  if (!grid) return;
  std::uint32_t from = divisions.empty() ? 1 : 1 + divisions.back().measure / 2;
  EXPECT_EQ(grid->measureCount, divisions.empty() ? 0 : divisions.back().measure);
  CheckStretches(*grid, want, per, divisions, 1);
  CheckStretches(*grid, want, per, divisions, from);
}

// Up to three tracks of changes on half beats or anywhere, ending on the
// last change or later.
Song RandomSong(std::mt19937& rng) {
  const int tpqs[] = {1, 2, 3, 96, 480, 960};
  const int clicks[] = {0, 6, 12, 18, 24, 36, 48, 72, 96};
  Song s{int(rng() % 2), tpqs[rng() % 6], {}};
  std::uint64_t span = s.tpq * 40;
  for (int t = 0, tracks = s.format == 0 ? 1 : 1 + rng() % 3; t < tracks; ++t) {
    std::vector<Event> events;
    for (int n = rng() % 8; n > 0; --n) {
      std::uint64_t tick = rng() % 2 ? rng() % (span + 1) : (rng() % 80) * s.tpq / 2;
      if (rng() % 3 == 0) {
        std::uint32_t micros = rng() % 5 ? 200000 + rng() % 1000000 : rng() % 2 ? 1 : 0xFFFFFF;
        events.push_back({tick, 'T', micros, 0, 0});
      } else if (const std::uint32_t kind = rng() % 4; kind < 2) {
        std::uint32_t beats = 1 + rng() % 12;
        events.push_back({tick, 'M', beats, int(rng() % 5), clicks[rng() % 9]});
      } else {
        events.push_back({tick, kind == 2 ? 'N' : 'K', std::uint32_t(rng() % 1000), 0, 0});
      }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.tick < b.tick; });
    std::uint64_t last = events.empty() ? 0 : events.back().tick;
    events.push_back({last + (rng() % 4 ? rng() % (span / 4 + 1) : 0), 'E', 0, 0, 0});
    s.tracks.push_back(events);
  }
  return s;
}

// A ramp of 500 tempos every sixteenth note in 6/8, with a second track
// setting tempos at some of the same ticks.
Song Ramp() {
  Song s{1, 480, {{{0, 'M', 6, 3, 36}}, {}}};
  for (std::uint32_t i = 0; i < 500; ++i) {
    s.tracks[0].push_back({i * 120, 'T', 600000 - i * 400, 0, 0});
    if (i % 7 == 0) s.tracks[1].push_back({i * 120, 'T', 300000 + i, 0, 0});
  }
  s.tracks[0].push_back({500 * 120 + 7, 'E', 0, 0, 0});
  return s;
}

TEST(MidiReference, RandomMapsWrittenByHand) {
  std::mt19937 rng(20240611);
  for (int i = 0; i < 300; ++i) {
    Song song = RandomSong(rng);
    BeatUnit unit = BeatUnit(rng() % 3);
    SCOPED_TRACE(::testing::Message() << "song " << i << " unit " << int(unit));
    Check(Bytes(song), song, unit, 1 + rng() % 4);
  }
  for (BeatUnit unit : {BeatUnit::kDenominator, BeatUnit::kQuarter, BeatUnit::kClick}) {
    Check(Bytes(Ramp()), Ramp(), unit, 3);
  }
}

TEST(MidiReference, MapsWrittenByMido) {
  if (::access("/usr/bin/python3", X_OK) != 0 ||
      std::system("/usr/bin/python3 -c 'import mido' 2>/dev/null") != 0) {
    GTEST_SKIP() << "needs /usr/bin/python3 with mido (Debian: python3-mido)";
  }
  TempFolder folder;
  std::mt19937 rng(7);
  std::vector<Song> songs{Ramp()};
  std::string lines = MidoLines(songs[0], folder.File("0.mid"));
  for (int i = 1; i < 40; ++i) {
    songs.push_back(RandomSong(rng));
    lines += MidoLines(songs.back(), folder.File(std::to_string(i) + ".mid"));
  }
  WriteFile(folder.File("songs"), lines);
  WriteFile(folder.File("write.py"), kMidoWriter);
  std::string command = "/usr/bin/python3 " + folder.File("write.py") + " " + folder.File("songs");
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (std::size_t i = 0; i < songs.size(); ++i) {
    SCOPED_TRACE(::testing::Message() << "song " << i);
    Check(ReadFile(folder.File(std::to_string(i) + ".mid")), songs[i], BeatUnit(i % 3), 2);
  }
}

}  // namespace
}  // namespace beatmarks
