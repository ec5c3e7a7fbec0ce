#include "locate/grid_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <ostream>
#include <random>
#include <sstream>
#include <vector>

#include "core/number_scan.h"
#include "core/text_map_timeline.h"
#include "files/export_file.h"
#include "formats/point_formats.h"
#include "locate/located_formats.h"
#include "locate/times_reader.h"
#include "midi/midi_grid.h"
#include "midi/midi_timeline.h"

namespace beatmarks {
namespace {

using u128 = unsigned __int128;

struct Section {
  std::string tempo;
  int beats;
  int measures;
};

// A text map's sections in the arrays a timeline reads.
class TextMap {
 public:
  explicit TextMap(const std::vector<Section>& sections) : count_(static_cast<int>(sections.size())) {
    for (std::size_t i = 0; i < sections.size(); ++i) {
      tempo_[i] = std::stof(sections[i].tempo);
      texts_[i] = MapTempoText(sections[i].tempo);
      beats_[i] = sections[i].beats;
      measures_[i] = sections[i].measures;
    }
  }
  std::unique_ptr<Timeline> Make(int divisions, const Rational& offset) const {
    return std::make_unique<TextMapTimeline>(SectionTable{count_, tempo_, beats_, measures_, &texts_},
                                             divisions, offset);
  }

 private:
  int count_;
  TempoArray tempo_{};
  CountArray beats_{}, measures_{};
  TempoTexts texts_;
};

std::optional<MidiGrid> GridOf(int tpq, std::vector<MidiTempo> tempos, std::vector<MidiMeter> meters,
                               std::uint64_t end) {
  std::string error;
  return BuildGrid({1, tpq, std::move(tempos), std::move(meters), end}, BeatUnit::kDenominator, error);
}

std::string Digits(u128 value) {
  std::string text;
  do {
    text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value != 0);
  return text;
}

// "M.B into nearest ±micros/nanos/samples", counted from 1, or where it is.
std::string Describe(const Position& p, int divisions) {
  if (p.where != Position::Where::kIn) return p.where == Position::Where::kBefore ? "before" : "after";
  std::string text = std::to_string(p.measure + 1) + "." + std::to_string(p.beat + 1) + " " +
                     std::to_string(p.intoBeat) + " " + std::to_string(p.nearestMeasure + 1) + "." +
                     std::to_string(p.nearestBeat + 1);
  if (divisions > 1) text += "." + std::to_string(p.nearestDivision + 1);
  return text + " " + (p.early ? "-" : "+") + Digits(p.micros) + "/" + Digits(p.nanos) + "/" +
         Digits(p.samples);
}

// 120 bpm 4/4 for two measures, then 60 bpm 3/4 for one: beats of 0.5 s to
// 4 s, then of 1 s to 7 s.
const TextMap kTwoTempos({{"120", 4, 2}, {"60", 3, 1}});
// 120 quarters a minute, slowing to 60 at tick 48, inside the first beat:
// beat 2 comes at 0.25 + 0.5 s.
const std::optional<MidiGrid> kMidBeatTempo = GridOf(96, {{0, 500000}, {48, 1000000}}, {{0, 4, 2, 24}}, 384);
// 120 quarters a minute; 3/4 at tick 336 cuts beat 4 of measure 1 (at 1.5 s) short at 1.75 s.
const std::optional<MidiGrid> kCutBeat = GridOf(96, {{0, 500000}}, {{0, 4, 2, 24}, {336, 3, 2, 24}}, 624);

struct KnownCase {
  const char* name;
  int map;  // 0: kTwoTempos, 1: kMidBeatTempo, 2: kCutBeat
  int divisions;
  const char* offset;
  const char* time;
  const char* position;
};

void PrintTo(const KnownCase& c, std::ostream* os) { *os << c.name; }

std::unique_ptr<Timeline> MapOf(int map, int divisions, const Rational& offset) {
  if (map == 0) return kTwoTempos.Make(divisions, offset);
  return std::make_unique<MidiTimeline>(map == 1 ? *kMidBeatTempo : *kCutBeat, divisions, offset);
}

class LocateKnown : public ::testing::TestWithParam<KnownCase> {};

TEST_P(LocateKnown, FastAndExactAgree) {
  const KnownCase& c = GetParam();
  const GridIndex grid = GridIndex::Build(*MapOf(c.map, c.divisions, ExactTimeOf(c.offset)), c.divisions);
  const Position fast = grid.Locate(c.time, 44100);
  EXPECT_EQ(Describe(fast, c.divisions), c.position);
  EXPECT_EQ(fast, grid.LocateExact(ExactTimeOf(c.time), 44100));
}

const KnownCase kKnown[] = {
    {"OnADivision", 0, 2, "0", "0.25", "1.1 500000 1.1.2 +0/0/0"},
    {"LateByOneHundredth", 0, 2, "0", "0.26", "1.1 520000 1.1.2 +10000/10000000/441"},
    {"HalfwayGoesLater", 0, 2, "0", "0.125", "1.1 250000 1.1.2 -125000/125000000/5513"},
    {"HalfwayAcrossBeats", 0, 2, "0", "0.375", "1.1 750000 1.2.1 -125000/125000000/5513"},
    {"FirstDivision", 0, 2, "0", "0", "1.1 0 1.1.1 +0/0/0"},
    {"MinusZero", 0, 2, "0", "-0", "1.1 0 1.1.1 +0/0/0"},
    {"Before", 0, 2, "0", "-0.5", "before"},
    {"NearestInNextSection", 0, 2, "0", "3.9", "2.4 800000 3.1.1 -100000/100000000/4410"},
    {"SectionStart", 0, 2, "0", "4", "3.1 0 3.1.1 +0/0/0"},
    {"LastDivisionHasNoNext", 0, 2, "0", "6.75", "3.3 750000 3.3.2 +250000/250000000/11025"},
    {"JustBeforeTheEnd", 0, 2, "0", "6.999999999", "3.3 999999 3.3.2 +500000/499999999/22050"},
    {"TheEndIsAfter", 0, 2, "0", "7", "after"},
    {"FarAfter", 0, 2, "0", "1000", "after"},
    {"RoundsOnceEachWay", 0, 2, "0", "0.0000004999", "1.1 0 1.1.1 +0/500/0"},
    {"MicroHalfRoundsUp", 0, 2, "0", "0.0000005", "1.1 1 1.1.1 +1/500/0"},
    {"HairAfterABeat", 0, 2, "0", "1.0000000000000000000001", "1.3 0 1.3.1 +0/0/0"},
    {"HairBeforeABeatNeverOne", 0, 2, "0", "0.9999999999999999999999", "1.2 999999 1.3.1 -0/0/0"},
    {"OneDivisionABeat", 0, 1, "0", "0.3", "1.1 600000 1.2 -200000/200000000/8820"},
    {"OffsetMovesMeasureOne", 0, 1, "1.5", "1.5", "1.1 0 1.1 +0/0/0"},
    {"BeforeTheOffset", 0, 1, "1.5", "1.4999999", "before"},
    {"EndAfterOffset", 0, 1, "1.5", "8.5", "after"},
    {"BeatAcrossATempoChange", 1, 1, "0", "0.5", "1.1 666666 1.2 -250000/250000000/11025"},
    {"PastTheStretchBeforeTheNext", 1, 1, "0", "0.6", "1.1 800000 1.2 -150000/150000000/6615"},
    {"DivisionsAcrossATempoChange", 1, 2, "0", "0.3", "1.1 400000 1.1.2 +50000/50000000/2205"},
    {"BeatCutByAMeter", 2, 2, "0", "1.7", "1.4 800000 2.1.1 -50000/50000000/2205"},
    {"AfterTheCut", 2, 1, "0", "1.75", "2.1 0 2.1 +0/0/0"},
};

INSTANTIATE_TEST_SUITE_P(Locate, LocateKnown, ::testing::ValuesIn(kKnown),
                         [](const auto& info) { return std::string(info.param.name); });

// The reference: every division of the walk with its exact time, searched
// one by one.
struct Division {
  Rational time;
  std::int64_t measure;
  std::int32_t beat, division;
};

class Divisions : public BeatSink {
 public:
  void Pass(const Stretch&, DivisionCount) override {}
  void Division(const BeatEvent& e) override {
    all.push_back({e.stretch.time->At(e.index), e.measure, e.beat, e.division});
    end = e.stretch.time->At(e.index + 1);
  }
  void MeasureEnd(std::int64_t) override {}
  std::vector<struct Division> all;
  Rational end;
};

u128 Round(const Rational& r, std::int64_t scale) {
  u128 value = 0;
  BigInt::FloorDiv(r.numerator() * BigInt(2 * scale) + r.denominator(), r.denominator() * BigInt(2))
      .ToUnsigned128(value);
  return value;
}

Position Reference(const Divisions& grid, const Rational& t, std::uint32_t rate) {
  Position p;
  const auto& all = grid.all;
  if (all.empty() || t >= grid.end) {
    p.where = Position::Where::kAfter;
    return p;
  }
  if (t < all[0].time) {
    p.where = Position::Where::kBefore;
    return p;
  }
  std::size_t j = 0;
  while (j + 1 < all.size() && all[j + 1].time <= t) ++j;
  std::size_t start = j, end = j + 1;
  while (start > 0 && all[start].division != 0) --start;
  while (end < all.size() && all[end].division != 0) ++end;
  const Rational beatEnd = end < all.size() ? all[end].time : grid.end;
  const Rational into = (t - all[start].time) / (beatEnd - all[start].time);
  u128 digits = 0;
  BigInt::FloorDiv(into.numerator() * BigInt(1000000), into.denominator()).ToUnsigned128(digits);
  const bool later = j + 1 < all.size() && all[j + 1].time - t <= t - all[j].time;
  const struct Division& near = all[later ? j + 1 : j];
  const Rational magnitude = later ? near.time - t : t - near.time;
  p.measure = all[j].measure;
  p.beat = all[j].beat;
  p.intoBeat = static_cast<std::uint32_t>(digits);
  p.nearestMeasure = near.measure;
  p.nearestBeat = near.beat;
  p.nearestDivision = near.division;
  p.early = later;
  p.micros = Round(magnitude, 1000000);
  p.nanos = Round(magnitude, 1000000000);
  p.samples = Round(magnitude, rate);
  return p;
}

// The decimal digits of r (>= 0 or not), cut after `places`.
std::string DecimalText(const Rational& r, int places) {
  const BigInt scaled = BigInt::FloorDiv(r.numerator() * BigInt::PowerOfTen(places), r.denominator());
  const std::string raw = scaled.Abs().ToDecimal();
  const auto decimals = static_cast<std::size_t>(places);
  std::string digits(raw.size() <= decimals ? decimals + 1 - raw.size() : 0, '0');
  digits += raw;
  std::string text(scaled.IsNegative() ? 1 : 0, '-');
  text.append(digits, 0, digits.size() - decimals);
  text += '.';
  text.append(digits, digits.size() - decimals, decimals);
  return text;
}

// The shortest decimal of r with at most `places` decimals, or "".
std::string ShortDecimal(const Rational& r, int places) {
  for (int p = 0; p <= places; ++p) {
    const std::string text = DecimalText(r, p);
    if (ExactTimeOf(text) == r) return text;
  }
  return "";
}

// Times around every kind of turning point: on divisions and halfway between
// them, a rounding half of the deviation away, each exactly where a short
// decimal holds it and a hair to either side (in 18 decimals, the machine
// integers' reach, and in 40, the big integers'); and anywhere.
std::vector<std::string> TimesAround(const Divisions& grid, std::mt19937_64& rng) {
  std::vector<std::string> times;
  std::uniform_int_distribution<std::size_t> pick(0, grid.all.size() - 1);
  const Rational hair(BigInt(1), BigInt::PowerOfTen(30)), near(BigInt(1), BigInt::PowerOfTen(17));
  for (int n = 0; n < 40; ++n) {
    const std::size_t j = pick(rng);
    const Rational on = grid.all[j].time;
    const Rational next = j + 1 < grid.all.size() ? grid.all[j + 1].time : grid.end;
    for (const Rational& point : {on, (on + next) / Rational(2), on + Rational(1) / Rational(2000000),
                                  on + Rational(static_cast<std::int64_t>(rng() % 1000)) / Rational(1000000000)}) {
      for (const std::string& text : {ShortDecimal(point, 18), DecimalText(point + near, 18),
                                      DecimalText(point - near, 18), DecimalText(point + hair, 40),
                                      DecimalText(point - hair, 40)}) {
        if (!text.empty()) times.push_back(text);
      }
    }
    const Rational anywhere = (grid.end + Rational(2)) * Rational(static_cast<std::int64_t>(rng() % 100000)) /
                              Rational(100000) - Rational(1);
    times.push_back(DecimalText(anywhere, static_cast<int>(rng() % 10)));
  }
  times.push_back(DecimalText(grid.end, 40));
  times.push_back(DecimalText(grid.all[0].time, 40));
  return times;
}

void CheckAgainstReference(Timeline& forIndex, Timeline& forWalk, int divisions, std::uint32_t rate,
                           std::mt19937_64& rng, const std::string& context) {
  const GridIndex grid = GridIndex::Build(forIndex, divisions);
  Divisions walked;
  WalkBeats(forWalk, 0, INT64_MAX, divisions, walked);
  if (walked.all.empty()) return;
  for (const std::string& time : TimesAround(walked, rng)) {
    const Position want = Reference(walked, ExactTimeOf(time), rate);
    ASSERT_EQ(Describe(grid.Locate(time, rate), divisions), Describe(want, divisions))
        << context << " time " << time;
    ASSERT_EQ(grid.Locate(time, rate), want) << context << " time " << time;
  }
}

TEST(LocateGenerated, TextMapsMatchTheWalk) {
  std::mt19937_64 rng(8128);
  const char* tempos[] = {"120", "150", "75", "96", "144.6", "97.3333", "33.333333333", "0.001", "3000"};
  const char* offsets[] = {"0", "0.1", "12.345678901", "3"};
  for (int n = 0; n < 40; ++n) {
    std::vector<Section> sections;
    for (int s = 0, count = 1 + static_cast<int>(rng() % 4); s < count; ++s) {
      sections.push_back({tempos[rng() % std::size(tempos)], 1 + static_cast<int>(rng() % 7),
                          static_cast<int>(rng() % 4)});
    }
    const TextMap map(sections);
    const int divisions = 1 + static_cast<int>(rng() % 4);
    const Rational offset = ExactTimeOf(offsets[rng() % std::size(offsets)]);
    const std::uint32_t rate = rng() % 2 ? 44100 : 1 + static_cast<std::uint32_t>(rng() % 200000);
    CheckAgainstReference(*map.Make(divisions, offset), *map.Make(divisions, offset), divisions, rate, rng,
                          "text map " + std::to_string(n));
  }
}

TEST(LocateGenerated, MidiMapsMatchTheWalk) {
  std::mt19937_64 rng(496);
  const MidiMeter meters[] = {{0, 4, 2, 24}, {0, 3, 2, 24}, {0, 6, 3, 36}, {0, 5, 3, 12}, {0, 7, 3, 12}};
  for (int n = 0; n < 30; ++n) {
    std::vector<MidiTempo> tempos{{0, 250000 + static_cast<std::uint32_t>(rng() % 1000000)}};
    std::vector<MidiMeter> changes{meters[rng() % std::size(meters)]};
    const std::uint64_t end = 200 + rng() % 3000;
    for (std::uint64_t tick = rng() % 300 + 1; tick < end; tick += 1 + rng() % 300) {
      tempos.push_back({tick, 250000 + static_cast<std::uint32_t>(rng() % 1000000)});
    }
    for (std::uint64_t tick = rng() % 900 + 1; tick < end; tick += 1 + rng() % 900) {
      changes.push_back(meters[rng() % std::size(meters)]);
      changes.back().tick = tick;
    }
    // 128 ticks a quarter keeps many times short decimals.
    const std::optional<MidiGrid> grid = GridOf(n % 2 ? 96 : 128, tempos, changes, end);
    ASSERT_TRUE(grid.has_value());
    const int divisions = 1 + static_cast<int>(rng() % 3);
    const Rational offset = Rational(static_cast<std::int64_t>(rng() % 3));
    MidiTimeline forIndex(*grid, divisions, offset), forWalk(*grid, divisions, offset);
    CheckAgainstReference(forIndex, forWalk, divisions, 48000, rng, "midi map " + std::to_string(n));
  }
}

std::string ReadFile(const std::string& name) {
  std::ifstream file(name, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// The program's own CSV read back: every division is its own nearest, at a
// deviation of nothing (its times here are exact in 9 decimals), a whole
// number of divisions into its beat.
TEST(LocateFeedback, OwnCsvReadsBackOnTheGrid) {
  const TextMap map({{"120", 4, 3}, {"75", 3, 2}, {"96", 7, 1}, {"150", 5, 2}});
  const Rational offset = ExactTimeOf("2.5");
  const std::string name = ::testing::TempDir() + "locate_feedback";
  for (int divisions : {1, 2, 4}) {
    ExportFile beats;
    ASSERT_TRUE(beats.Open(name + ".csv", WriteMode::kReplace));
    PointSink csv(beats, PointSink::Kind::kCsv, 48000, divisions);
    WalkBeats(*map.Make(divisions, offset), 0, INT64_MAX, divisions, csv);
    ASSERT_TRUE(beats.Finish());

    ExportFile located;
    ASSERT_TRUE(located.Open(name + ".out", WriteMode::kReplace));
    std::string error;
    ASSERT_TRUE(WriteLocated(LocatedFormat::kCsv, ReadFile(name + ".csv"),
                             GridIndex::Build(*map.Make(divisions, offset), divisions), {48000, offset, 1},
                             located, error))
        << error;
    ASSERT_TRUE(located.Finish());
    std::istringstream rows(ReadFile(name + ".out"));
    std::string row;
    std::getline(rows, row);
    int count = 0;
    while (std::getline(rows, row)) {
      std::vector<std::string> fields;
      std::istringstream cells(row.substr(0, row.size() - 1));
      for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
      ASSERT_EQ(fields.size(), 9u) << row;
      EXPECT_EQ(fields[1], "in");
      const int division = divisions > 1 ? std::stoi(fields[8].substr(fields[8].rfind('.') + 1)) : 1;
      EXPECT_EQ(std::stod(fields[4]), double(division - 1) / divisions) << row;
      EXPECT_EQ(fields[5], fields[8]) << row;
      EXPECT_EQ(fields[6] + "," + fields[7], "0.000000000,0") << row;
      ++count;
    }
    EXPECT_EQ(count, (4 * 3 + 3 * 2 + 7 + 5 * 2) * divisions);
  }
}

}  // namespace
}  // namespace beatmarks
