#include "midi/midi_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/number_scan.h"
#include "tmap/text_map_timeline.h"
#include "exact/exact_time.h"
#include "midi/midi_file.h"
#include "midi/midi_grid.h"
#include "midi/midi_timeline.h"
#include "midi_bytes.h"

namespace beatmarks {
namespace {

using testing::TrackBytes;

struct Section {
  std::string tempo;
  int beats, measures;
  std::string name;
};

// A text map (sections) or a MIDI map (bytes), and its timelines.
class Map {
 public:
  explicit Map(const std::vector<Section>& sections) : count_(static_cast<int>(sections.size())) {
    for (std::size_t i = 0; i < sections.size(); ++i) {
      tempo_[i] = std::stof(sections[i].tempo);
      texts_[i] = MapTempoText(sections[i].tempo);
      beats_[i] = sections[i].beats;
      measures_[i] = sections[i].measures;
      names_[i] = sections[i].name;
    }
  }
  Map(const std::string& bytes, BeatUnit unit) {
    std::string error;
    midi = ReadMidi(bytes, error);
    if (midi) grid_ = BuildGrid(*midi, unit, error);
    EXPECT_TRUE(grid_) << error;
  }
  TimelineMaker Maker(const Rational& offset, std::int32_t divisions = 1) const {
    return [this, offset, divisions]() -> std::unique_ptr<Timeline> {
      if (grid_) return std::make_unique<MidiTimeline>(*grid_, divisions, offset);
      return std::make_unique<TextMapTimeline>(
          SectionTable{count_, tempo_, beats_, measures_, &texts_, &names_}, divisions, offset);
    };
  }
  std::optional<MidiMap> midi;

 private:
  int count_ = 0;
  TempoArray tempo_{};
  CountArray beats_{}, measures_{};
  TempoTexts texts_;
  SectionNames names_;
  std::optional<MidiGrid> grid_;
};

struct Beat {
  std::int64_t measure;
  std::int32_t beat;
  Rational time;
};

std::vector<Beat> BeatsOf(const TimelineMaker& make, std::int64_t start, std::int64_t stop,
                          std::int32_t divisions) {
  struct Sink : BeatSink {
    void Pass(const Stretch&, DivisionCount) override {}
    void MeasureEnd(std::int64_t) override {}
    void Division(const BeatEvent& e) override {
      if (e.division == 0) beats.push_back({e.measure, e.beat, e.stretch.time->At(e.index)});
    }
    std::vector<Beat> beats;
  } sink;
  WalkBeats(*make(), start, stop, divisions, sink);
  return sink.beats;
}

// The file written through an export, as planned.
std::string Export(const TimelineMaker& make, const MidiExportSettings& settings,
                   MidiExportReport& report) {
  MidiExportPlan plan;
  EXPECT_EQ(PlanMidiExport(make, settings, plan), "");
  report = plan.report;
  const auto path = std::filesystem::temp_directory_path() /
                    ("midi_export_test_" + std::to_string(::getpid()) + ".mid");
  ExportFile out;
  EXPECT_TRUE(out.Open(path.string(), WriteMode::kReplace));
  EXPECT_TRUE(WriteMidiExport(plan, out));
  EXPECT_TRUE(out.Finish());
  std::stringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  std::filesystem::remove(path);
  EXPECT_EQ(bytes.str().size(), report.bytes);
  return bytes.str();
}

Rational Micro(std::int64_t n) { return Rational(n) / Rational(1000000); }

// 480 ticks a quarter: tempo changes inside beats, then 6/8 clicking dotted
// quarters cuts the second measure after three beats and a half.
std::string SixEightRamp() {
  TrackBytes t;
  t.Meter(0, 4, 2, 24).Tempo(0, 600000).Meta(0, 6, "Intro");
  for (int i = 0; i < 8; ++i) t.Tempo(i == 0 ? 1200 : 240, 600000 - 7000 * (i + 1));
  return testing::MidiHeader(1, 1, 480) + t.Meter(720, 6, 3, 36).End(3 * 1440).Chunk();
}

// 96 ticks a quarter: a tempo change inside a beat, and 4/4 again after two
// beats of the second measure, which begins measures anew.
std::string CutMeasure() {
  return testing::MidiHeader(0, 1, 96) + TrackBytes()
                                             .Tempo(0, 432101)
                                             .Meter(0, 4, 2, 24)
                                             .Tempo(144, 500001)
                                             .Meter(432, 4, 2, 24)
                                             .End(768)
                                             .Chunk();
}

bool OnBeatOrQuarter(const MidiGrid& grid, std::uint64_t tick) {
  if (tick % 960 == 0) return true;
  for (auto run = grid.runs.rbegin(); run != grid.runs.rend(); ++run) {
    if (run->startTick > tick) continue;
    const unsigned __int128 from = tick - run->startTick;
    return from * run->beatTicks.den % run->beatTicks.num == 0;
  }
  return false;
}

struct RoundTrip {
  const char* name;
  Map map;
  std::int64_t start = 0, stop = 1 << 30;
  std::int32_t divisions = 1;
  Rational offset, maxDrift = Micro(1);
  std::string read;               // read back: "tick n/power/clocks ..., markers"
  std::uint64_t tempoEvents = 0;  // when known
};

// Every beat of the range, read back by the MIDI reader (which sums ticks x
// tempo exactly as every reader does), lies within the bound of where the
// range's first downbeat at the offset puts it, on the same beat of its
// measure; the time signatures and markers are the map's.
TEST(MidiExport, BeatsReadBackWithinTheBound) {
  using enum BeatUnit;
  const RoundTrip cases[] = {
      // The README states the count: 400 measures of 4/4 at 97.3333 beats a minute.
      {"Fours", Map({{"97.3333", 4, 400, ""}}), 0, 1 << 30, 1, 0, Micro(1), "0 4/2/24, Section 1",
       478},
      {"Loose", Map({{"97.3333", 4, 400, ""}}), 0, 1 << 30, 1, 0, Micro(1000),
       "0 4/2/24, Section 1", 1},
      {"TextInThirds", Map({{"97.3333", 4, 3, "A"}, {"61.7", 3, 2, ""}, {"61.7", 3, 1, "C"}}), 1,
       1 << 30, 3, 0, Micro(1), "0 4/2/24 7680 3/2/24, A Section 2 C"},
      {"NanosecondBound", Map({{"97.3333", 2, 1, ""}, {"51", 1, 2, ""}}), 0, 1 << 30, 1, 0,
       Rational(1) / Rational(1000000000), "0 2/2/24 1920 1/2/24, Section 1 Section 2"},
      {"MidiInClicks", Map(SixEightRamp(), kClick), 0, 1 << 30, 1, 0, Micro(1),
       "0 4/2/24 7680 6/3/36, Intro"},
      {"MidiInHalfBeats", Map(SixEightRamp(), kDenominator), 0, 1 << 30, 2, 0, Micro(1),
       "0 4/2/24 7680 6/3/12, Intro"},
      {"MidiOffsetAndRange", Map(SixEightRamp(), kDenominator), 1, 5, 1, Rational(1) / Rational(3),
       Micro(1), "0 4/2/24 7680 6/3/12, Intro"},
      {"MidiCut", Map(CutMeasure(), kDenominator), 0, 1 << 30, 1, 0, Micro(1),
       "0 4/2/24 5760 4/2/24, "},
      {"MidiRangeInHalfBeats", Map(CutMeasure(), kDenominator), 1, 1 << 30, 2, 0, Micro(1),
       "0 4/2/24 1920 4/2/24, "},
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.name);
    const TimelineMaker make = c.map.Maker(c.offset, c.divisions);
    MidiExportReport report;
    const Map back(
        Export(make, {c.start, c.stop, c.divisions, c.offset, c.maxDrift, "Map"}, report), kClick);
    ASSERT_TRUE(back.midi);
    const std::vector<Beat> want = BeatsOf(make, c.start, c.stop, c.divisions);
    const std::vector<Beat> got = BeatsOf(back.Maker(0), 0, 1 << 30, 1);
    ASSERT_TRUE(!want.empty() && got.size() >= want.size());
    const std::size_t lead = got.size() - want.size();  // whole measures before the range
    EXPECT_EQ(lead == 0, c.offset <= c.maxDrift);
    Rational largest;
    for (std::size_t i = 0; i < want.size(); ++i) {
      const Beat& g = got[lead + i];
      ASSERT_EQ(g.measure - got[lead].measure, want[i].measure - want[0].measure) << "beat " << i;
      ASSERT_EQ(g.beat, want[i].beat) << "beat " << i;
      const Rational drift = g.time - (want[i].time - want[0].time + c.offset);
      largest = std::max({largest, drift, -drift});
      ASSERT_LE(largest, c.maxDrift) << "beat " << i << ": " << NearestDouble(drift) << " s";
    }
    EXPECT_LE(largest, report.largestDrift);
    EXPECT_LE(report.largestDrift, c.maxDrift);
    std::string read;
    for (const MidiMeter& m : back.midi->meters) {
      read += std::to_string(m.tick) + " " + std::to_string(m.numerator) + "/" +
              std::to_string(m.denominatorPower) + "/" + std::to_string(m.clocksPerClick) + " ";
    }
    read.back() = ',';
    for (const MidiMarker& m : back.midi->markers) read += " " + m.text;
    EXPECT_EQ(read + (back.midi->markers.empty() ? " " : ""), c.read);
    EXPECT_EQ(back.midi->trackName, "Map");
    EXPECT_EQ(back.midi->tempos.size(), report.tempoEvents);  // one a tick, none repeated
    // Events lie on beats (the file's clicks) or quarter notes, where a DAW
    // keeps them, but for those the run counts, which a bound of 1 us never needs.
    std::string error;
    const auto grid = BuildGrid(*back.midi, kClick, error);
    ASSERT_TRUE(grid) << error;
    std::uint64_t between = 0;
    for (const MidiTempo& t : back.midi->tempos) between += OnBeatOrQuarter(*grid, t.tick) ? 0 : 1;
    EXPECT_EQ(between, report.betweenQuarters);
    EXPECT_EQ(between == 0, c.maxDrift >= Micro(1)) << between;
    if (c.tempoEvents != 0) {
      EXPECT_EQ(report.tempoEvents, c.tempoEvents);
    }
  }
}

// What no MIDI file holds is refused in one line, measures numbered as the
// run numbers them.
TEST(MidiExport, RefusesWhatAMidiFileCannotHold) {
  const struct {
    Map map;
    Rational offset, maxDrift;
    std::int64_t start;
    std::string error;
    std::int64_t first = 1;
  } refusals[] = {
      {Map({{"97.3333", 4, 2147483647, ""}}), 0, Micro(1), 0, "too long for a MIDI file: at least"},
      {Map({{"120", 4, 2147483647, ""}}), 0, Micro(1), 0,
       "too long for a MIDI file: 8589934588 quarter"},
      {Map({{"120", 4, 70000, ""}, {"120", 5, 1, ""}}), 0, Micro(1), 0,
       "too long for a MIDI file: 280000"},
      {Map({{"97.3333", 4, 1, ""}}), 0, Rational(1) / Rational(2000000000), 0,
       "the largest drift must"},
      {Map({{"1e-30", 4, 1, ""}}), 0, Micro(1), 0, "measure 1: a tempo of"},
      {Map({{"120", 4, 1, ""}, {"3.4e38", 4, 1, ""}}), 0, Micro(1), 0, "measure 2: a tempo of"},
      {Map({{"120", 4, 1, ""}, {"3.4e38", 4, 1, ""}}), 0, Micro(1), 0, "measure 1: a tempo of", 0},
      {Map({{"120", 256, 1, ""}}), 0, Micro(1), 0, "measure 1: 256 beats a measure"},
      {Map({{"120", 4, 2, ""}}), 0, Micro(1), 2, "the range holds no beat"},
      {Map({{"120", 4, 2, ""}}), Micro(2), Micro(1), 0, "an offset of 0.000002 s is too short"},
  };
  for (const auto& r : refusals) {
    MidiExportSettings settings;
    settings.start = r.start;
    settings.offset = r.offset;
    settings.maxDrift = r.maxDrift;
    settings.firstMeasureNumber = r.first;
    MidiExportPlan plan;
    const std::string error = PlanMidiExport(r.map.Maker(r.offset), settings, plan);
    EXPECT_EQ(error.substr(0, r.error.size()), r.error) << error;
  }
}

// A map far too long is refused from a lower bound of its size (7 bytes for
// each tempo event it must hold at least), which must stay below what the
// plan really writes: the events of 1,000 measures of the same tempo, times
// the measures. It counts the fewest a tempo could need anywhere in a beat;
// the plan's events, on beats, are up to about 2.3 times as many.
TEST(MidiExport, RefusalFromTheSectionsIsALowerBound) {
  for (const char* tempo : {"97.3333", "61.7", "144.61", "133.33"}) {
    for (const Rational& drift : {Micro(1), Micro(1) / Rational(10)}) {
      MidiExportSettings settings;
      settings.maxDrift = drift;
      MidiExportPlan plan;
      ASSERT_EQ(PlanMidiExport(Map({{tempo, 4, 1000, ""}}).Maker(0), settings, plan), "");
      const std::string error =
          PlanMidiExport(Map({{tempo, 4, 2147483647, ""}}).Maker(0), settings, plan);
      const std::string atLeast = "too long for a MIDI file: at least ";
      ASSERT_EQ(error.substr(0, atLeast.size()), atLeast) << tempo;
      const double events = std::stod(error.substr(atLeast.size())) / 7;
      EXPECT_LT(events, double(plan.report.tempoEvents) * 2147483.647) << tempo;
      EXPECT_GT(events, double(plan.report.tempoEvents) * 2147483.647 / 3) << tempo;
    }
  }
}

TEST(MidiExport, ReaderKeepsMarkersOfAllTracksAndTheFirstTrackName) {
  const Map map(
      testing::MidiHeader(1, 2, 96) +
          TrackBytes()
              .Meta(0, 3, "Song")
              .Meta(0, 6, "B")
              .Meta(0, 3, "Not it")
              .Meta(96, 6, "C")
              .End(0)
              .Chunk() +
          TrackBytes().Meta(0, 3, "Piano").Meta(0, 6, "A").Meta(50, 6, "Between").End(10).Chunk(),
      BeatUnit::kDenominator);
  ASSERT_TRUE(map.midi);
  EXPECT_EQ(map.midi->trackName, "Song");
  std::string markers;
  for (const MidiMarker& m : map.midi->markers) markers += std::to_string(m.tick) + m.text + " ";
  EXPECT_EQ(markers, "0B 0A 50Between 96C ");
}

}  // namespace
}  // namespace beatmarks
