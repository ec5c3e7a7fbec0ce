#include "locate/grid_index.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <random>
#include <vector>

#include "core/number_scan.h"
#include "tmap/text_map_timeline.h"
#include "locate/times_reader.h"
#include "midi/midi_grid.h"
#include "midi/midi_timeline.h"

namespace beatmarks {
namespace {

// The grids here are all buildable; a failure shows as an empty optional.
std::string& BuildError() {
  static std::string error;
  return error;
}


using u128 = unsigned __int128;

// 120 bpm 4/4 for two measures, then 60 bpm 3/4 for one: beats of 0.5 s to
// 4 s, then of 1 s to 7 s.
std::unique_ptr<Timeline> TwoTempos(int divisions, const Rational& offset) {
  static TempoArray tempo{120.0f, 60.0f};
  static CountArray beats{4, 3}, measures{2, 1};
  static TempoTexts texts{MapTempoText("120"), MapTempoText("60")};
  return std::make_unique<TextMapTimeline>(SectionTable{2, tempo, beats, measures, &texts}, divisions, offset);
}

std::optional<MidiGrid> GridOf(int tpq, std::vector<MidiTempo> tempos, std::vector<MidiMeter> meters,
                               std::uint64_t end) {
  std::string error;
  return BuildGrid({1, tpq, std::move(tempos), std::move(meters), end}, BeatUnit::kDenominator, error);
}

// 120 quarters a minute, slowing to 60 at tick 48, inside the first beat:
// beat 2 comes at 0.25 + 0.5 s.
const std::optional<MidiGrid> kMidBeatTempo = GridOf(96, {{0, 500000}, {48, 1000000}}, {{0, 4, 2, 24}}, 384);
// 120 quarters a minute; 3/4 at tick 336 cuts beat 4 of measure 1 (at 1.5 s) short at 1.75 s.
const std::optional<MidiGrid> kCutBeat = GridOf(96, {{0, 500000}}, {{0, 4, 2, 24}, {336, 3, 2, 24}}, 624);

// "M.B into nearest +micros/nanos/samples" (- when early), counted from 1, or
// where it is.
std::string Describe(const Position& p, int divisions) {
  if (p.where != Position::Where::kIn) return p.where == Position::Where::kBefore ? "before" : "after";
  const auto number = [](auto value) { return std::to_string(static_cast<std::int64_t>(value)); };
  std::string text = number(p.measure + 1);
  text.append(".").append(number(p.beat + 1)).append(" ").append(number(p.intoBeat)).append(" ");
  text.append(number(p.nearestMeasure + 1)).append(".").append(number(p.nearestBeat + 1));
  if (divisions > 1) text.append(".").append(number(p.nearestDivision + 1));
  text.append(p.early ? " -" : " +").append(number(p.micros)).append("/").append(number(p.nanos));
  return text.append("/").append(number(p.samples));
}

struct KnownCase {
  const char* name;
  int map;  // 0: TwoTempos, 1: kMidBeatTempo, 2: kCutBeat
  int divisions;
  const char* offset;
  const char* time;
  const char* position;
};

void PrintTo(const KnownCase& c, std::ostream* os) { *os << c.name; }

class LocateKnown : public ::testing::TestWithParam<KnownCase> {};

TEST_P(LocateKnown, FastAndExactAgree) {
  const KnownCase& c = GetParam();
  const Rational offset = ExactTimeOf(c.offset);
  const std::unique_ptr<Timeline> timeline =
      c.map == 0 ? TwoTempos(c.divisions, offset)
                 : std::make_unique<MidiTimeline>(c.map == 1 ? *kMidBeatTempo : *kCutBeat, c.divisions, offset);
  const GridIndex grid = *GridIndex::Build(*timeline, c.divisions, BuildError());
  const Position fast = grid.Locate(c.time, 44100);
  EXPECT_EQ(Describe(fast, c.divisions), c.position);
  EXPECT_EQ(fast, grid.LocateExact(ExactTimeOf(c.time), 44100));
}

const KnownCase kKnown[] = {
    {"OnADivision", 0, 2, "0", "0.25", "1.1 500000 1.1.2 +0/0/0"},
    {"LateByOneHundredth", 0, 2, "0", "0.26", "1.1 520000 1.1.2 +10000/10000000/441"},
    {"HalfwayGoesLater", 0, 2, "0", "0.125", "1.1 250000 1.1.2 -125000/125000000/5513"},
    {"HalfwayAcrossBeats", 0, 2, "0", "0.375", "1.1 750000 1.2.1 -125000/125000000/5513"},
    {"MinusZero", 0, 2, "0", "-0", "1.1 0 1.1.1 +0/0/0"},
    {"Before", 0, 2, "0", "-0.5", "before"},
    {"NearestInNextSection", 0, 2, "0", "3.9", "2.4 800000 3.1.1 -100000/100000000/4410"},
    {"LastDivisionHasNoNext", 0, 2, "0", "6.75", "3.3 750000 3.3.2 +250000/250000000/11025"},
    {"JustBeforeTheEnd", 0, 2, "0", "6.999999999", "3.3 999999 3.3.2 +500000/499999999/22050"},
    {"TheEndIsAfter", 0, 2, "0", "7", "after"},
    {"MoreWholeDigitsThanTheEnd", 0, 2, "0", "10", "after"},
    {"NegativeWithMoreDigits", 0, 2, "0", "-00012.5", "before"},
    {"LeadingZerosAreNoDigits", 0, 2, "0", "0006.75", "3.3 750000 3.3.2 +250000/250000000/11025"},
    {"RoundsOnceEachWay", 0, 2, "0", "0.0000004999", "1.1 0 1.1.1 +0/500/0"},
    {"MicroHalfRoundsUp", 0, 2, "0", "0.0000005", "1.1 1 1.1.1 +1/500/0"},
    {"HairAfterABeat", 0, 2, "0", "1.0000000000000000000001", "1.3 0 1.3.1 +0/0/0"},
    {"HairBeforeABeatNeverOne", 0, 2, "0", "0.9999999999999999999999", "1.2 999999 1.3.1 -0/0/0"},
    {"OffsetMovesMeasureOne", 0, 1, "1.5", "1.5", "1.1 0 1.1 +0/0/0"},
    {"BeforeTheOffset", 0, 1, "1.5", "1.4999999", "before"},
    {"BeatAcrossATempoChange", 1, 1, "0", "0.5", "1.1 666666 1.2 -250000/250000000/11025"},
    {"PastTheStretchBeforeTheNext", 1, 1, "0", "0.6", "1.1 800000 1.2 -150000/150000000/6615"},
    {"DivisionsAcrossATempoChange", 1, 2, "0", "0.3", "1.1 400000 1.1.2 +50000/50000000/2205"},
    {"BeatCutByAMeter", 2, 2, "0", "1.7", "1.4 800000 2.1.1 -50000/50000000/2205"},
};

INSTANTIATE_TEST_SUITE_P(Locate, LocateKnown, ::testing::ValuesIn(kKnown),
                         [](const auto& info) { return std::string(info.param.name); });

// A whole part of a million digits is placed from its digits alone (read
// in full, it once took seconds). A grid that ends past 10^40 s still reads
// a time of 40 digits exactly.
TEST(Locate, WholePartsOfAMillionDigits) {
  const std::unique_ptr<Timeline> timeline = TwoTempos(2, Rational());
  const GridIndex grid = *GridIndex::Build(*timeline, 2, BuildError());
  const std::string digits(1000000, '9');
  EXPECT_EQ(Describe(grid.Locate(digits, 44100), 2), "after");
  EXPECT_EQ(Describe(grid.Locate(digits + ".5", 44100), 2), "after");
  EXPECT_EQ(Describe(grid.Locate(std::string("-").append(digits), 44100), 2), "before");
  EXPECT_EQ(Describe(grid.Locate(std::string(1000000, '0').append("6.75"), 44100), 2),
            "3.3 750000 3.3.2 +250000/250000000/11025");

  const Rational far = ExactTimeOf(std::string("1").append(40, '0'));
  const std::unique_ptr<Timeline> late = TwoTempos(1, far);
  const GridIndex lateGrid = *GridIndex::Build(*late, 1, BuildError());
  const std::string time = std::string("1").append(39, '0').append("1");
  EXPECT_EQ(Describe(lateGrid.Locate(time, 44100), 1), "1.3 0 1.3 +0/0/0");
  EXPECT_EQ(lateGrid.Locate(time, 44100), lateGrid.LocateExact(ExactTimeOf(time), 44100));
}

// The reference: every division of the walk with its exact time, searched
// one by one; a beat runs from a first division to the next first division.
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

u128 Floor(const Rational& r, std::int64_t scale, bool half) {
  u128 value = 0;
  BigInt::FloorDiv(r.numerator() * BigInt(2 * scale) + (half ? r.denominator() : BigInt(0)),
                   r.denominator() * BigInt(2))
      .ToUnsigned128(value);
  return value;
}

Position Reference(const Divisions& grid, const Rational& t, std::uint32_t rate) {
  Position p;
  const auto& all = grid.all;
  if (t < all[0].time || t >= grid.end) {
    p.where = t < all[0].time ? Position::Where::kBefore : Position::Where::kAfter;
    return p;
  }
  std::size_t j = 0, start = 0, end = 1;
  while (j + 1 < all.size() && all[j + 1].time <= t) ++j;
  for (start = j; start > 0 && all[start].division != 0;) --start;
  for (end = j + 1; end < all.size() && all[end].division != 0;) ++end;
  const Rational beatEnd = end < all.size() ? all[end].time : grid.end;
  const bool later = j + 1 < all.size() && all[j + 1].time - t <= t - all[j].time;
  const struct Division& near = all[later ? j + 1 : j];
  const Rational magnitude = later ? near.time - t : t - near.time;
  p.measure = all[j].measure;
  p.beat = all[j].beat;
  p.intoBeat = static_cast<std::uint32_t>(
      Floor((t - all[start].time) / (beatEnd - all[start].time), 1000000, false));
  p.nearestMeasure = near.measure;
  p.nearestBeat = near.beat;
  p.nearestDivision = near.division;
  p.early = later;
  p.micros = Floor(magnitude, 1000000, true);
  p.nanos = Floor(magnitude, 1000000000, true);
  p.samples = Floor(magnitude, rate, true);
  return p;
}

// r in decimals, cut after `places`; with `exactly`, only if that holds it.
std::string DecimalText(const Rational& r, int places, bool exactly = false) {
  const BigInt scaled = BigInt::FloorDiv(r.numerator() * BigInt::PowerOfTen(places), r.denominator());
  if (exactly && Rational(scaled, BigInt::PowerOfTen(places)) != r) return "";
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

// The times lie on divisions, halfway between them and a rounding half of
// the deviation away, each exactly where 18 decimals hold it and a hair to
// either side (in 18 decimals, in reach of the machine integers, and in 40,
// of the big integers only); and anywhere. Indexes of one map: keeping
// every stretch's times with their table; keeping none (all made again from
// copies of the timeline) without it; keeping only the first, with it.
void ExpectTheWalk(const TimelineMaker& make, int divisions, const Rational& offset, std::uint32_t rate,
                   std::mt19937_64& rng, int n) {
  const Rational hair(BigInt(1), BigInt::PowerOfTen(30)), near(BigInt(1), BigInt::PowerOfTen(17));
  const GridIndex grid = *GridIndex::Build(*make(), divisions, BuildError());
  GridIndex untabled = *GridIndex::Build(*make(), divisions, BuildError(), nullptr, 0);
  untabled.DropTables();
  const GridIndex remade = *GridIndex::Build(*make(), divisions, BuildError(), nullptr, 1);
  Divisions walked;
  WalkBeats(*make(), 0, INT64_MAX, divisions, walked);

  std::vector<std::string> times{DecimalText(walked.end, 40), DecimalText(offset - hair, 40)};
  for (int k = 0; k < 40; ++k) {
    const std::size_t j = rng() % walked.all.size();
    const Rational on = walked.all[j].time;
    const Rational next = j + 1 < walked.all.size() ? walked.all[j + 1].time : walked.end;
    for (const Rational& point : {on, (on + next) / Rational(2), on + Rational(1) / Rational(2000000)}) {
      for (const std::string& text : {DecimalText(point, 18, true), DecimalText(point + near, 18),
                                      DecimalText(point - near, 18), DecimalText(point + hair, 40),
                                      DecimalText(point - hair, 40)}) {
        if (!text.empty()) times.push_back(text);
      }
    }
    times.push_back(DecimalText((walked.end + Rational(1)) * Rational(static_cast<std::int64_t>(rng() % 1000)) /
                                    Rational(1000),
                                static_cast<int>(rng() % 10)));
  }
  for (const std::string& time : times) {
    const Position want = Reference(walked, ExactTimeOf(time), rate);
    ASSERT_EQ(Describe(grid.Locate(time, rate), divisions), Describe(want, divisions)) << n << " at " << time;
    ASSERT_EQ(grid.Locate(time, rate), want) << n << " at " << time;
    ASSERT_EQ(untabled.Locate(time, rate), want) << n << " at " << time;
    ASSERT_EQ(remade.Locate(time, rate), want) << n << " at " << time;
  }
}

// Random MIDI maps (tempo and meter changes anywhere, cut beats) against the walk.
TEST(LocateGenerated, MidiMapsMatchTheWalk) {
  std::mt19937_64 rng(496);
  const MidiMeter meters[] = {{0, 4, 2, 24}, {0, 3, 2, 24}, {0, 6, 3, 36}, {0, 5, 3, 12}, {0, 7, 3, 12}};
  for (int n = 0; n < 40; ++n) {
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
    const std::optional<MidiGrid> map = GridOf(n % 2 ? 96 : 128, tempos, changes, end);
    ASSERT_TRUE(map.has_value());
    const int divisions = 1 + static_cast<int>(rng() % 3);
    const Rational offset(static_cast<std::int64_t>(rng() % 3));
    const std::uint32_t rate = n % 3 ? 48000 : 1 + static_cast<std::uint32_t>(rng() % 200000);
    ExpectTheWalk([&] { return std::make_unique<MidiTimeline>(*map, divisions, offset); }, divisions, offset,
                  rate, rng, n);
  }
}

// Random text maps: decimal tempos, whose section starts soon have
// denominators far past 128 bits (the fixed point decides for them), or
// tempos whose beats are short decimals (times fall exactly on divisions).
TEST(LocateGenerated, TextMapsMatchTheWalk) {
  std::mt19937_64 rng(25);
  const char* const shortBeats[] = {"120", "125", "96", "100", "80", "150", "187.5", "75"};
  for (int n = 0; n < 24; ++n) {
    const int count = 8 + static_cast<int>(rng() % 24);
    TempoArray tempo{};
    CountArray beats{}, measures{};
    TempoTexts texts;
    for (int i = 0; i < count; ++i) {
      std::string text = shortBeats[rng() % std::size(shortBeats)];
      if (n % 2 == 1) {
        text = std::to_string(40 + rng() % 200);
        if (const int decimals = static_cast<int>(rng() % 5); decimals > 0) {
          const std::string digits = std::to_string(10000 + rng() % 90000);
          text.push_back('.');
          text.append(digits, 0, static_cast<std::size_t>(decimals));
        }
      }
      tempo[static_cast<std::size_t>(i)] = std::stof(text);
      texts[static_cast<std::size_t>(i)] = MapTempoText(text);
      beats[static_cast<std::size_t>(i)] = 1 + static_cast<int>(rng() % 7);
      measures[static_cast<std::size_t>(i)] = static_cast<int>(rng() % 4);  // some sections empty
    }
    measures[0] = 1;
    const int divisions = n % 3 == 0 ? 4 : 1 + static_cast<int>(rng() % 2);
    const Rational offset = ExactTimeOf(n % 4 == 0 ? "0" : std::to_string(rng() % 5) + ".25");
    const std::uint32_t rate = n % 3 ? 44100 : 1 + static_cast<std::uint32_t>(rng() % 200000);
    const SectionTable table{count, tempo, beats, measures, &texts};
    ExpectTheWalk([&] { return std::make_unique<TextMapTimeline>(table, divisions, offset); }, divisions,
                  offset, rate, rng, n);
  }
}

}  // namespace
}  // namespace beatmarks
