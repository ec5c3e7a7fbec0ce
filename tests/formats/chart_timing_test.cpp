#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "formats/chart_format.h"
#include "formats/osu_format.h"
#include "formats/rekordbox_format.h"
#include "formats/sm_format.h"
#include "formats/ssc_format.h"

namespace beatmarks {
namespace {

// Beats at `seconds` a beat from `start`, measures of `meter` beats of `noteValue`.
std::vector<BeatTime> Steady(double start, double seconds, int count, int meter = 4,
                             int noteValue = 4) {
  std::vector<BeatTime> beats;
  for (int i = 0; i < count; ++i) {
    beats.push_back({start + i * seconds, i / meter, i % meter, meter, noteValue});
  }
  return beats;
}

// Appends beats going on from the last one's time at a new tempo and meter.
void Then(std::vector<BeatTime>& beats, double seconds, int count, int meter = 4,
          int noteValue = 4) {
  const double from = beats.back().seconds;
  const std::int64_t measure = beats.back().measure + 1;
  for (int i = 1; i <= count; ++i) {
    beats.push_back({from + i * seconds, measure + (i - 1) / meter, (i - 1) % meter, meter,
                     noteValue});
  }
}

// Where osu! puts each beat: a point's beats until the next point.
std::vector<double> OsuRead(const OsuPlan& plan, std::size_t count) {
  std::vector<double> read;
  for (std::size_t p = 0; p < plan.points.size(); ++p) {
    const OsuTimingPoint& point = plan.points[p];
    for (int k = 0; read.size() < count; ++k) {
      const double at = static_cast<double>(point.time) + k * point.beatLength;
      if (p + 1 < plan.points.size() &&
          at >= static_cast<double>(plan.points[p + 1].time) - point.beatLength / 2) {
        break;
      }
      read.push_back(at / 1000);
    }
  }
  return read;
}

// Where StepMania puts beats `places` (thousandths of a quarter note).
double SmRead(const SmPlan& plan, std::int64_t place) {
  double time = -static_cast<double>(plan.offset) / 1000;
  for (std::size_t i = 0; i < plan.tempos.size(); ++i) {
    const std::int64_t end = i + 1 < plan.tempos.size() ? plan.tempos[i + 1].place : INT64_MAX;
    const std::int64_t upTo = std::min(place, end);
    if (upTo <= plan.tempos[i].place) break;
    time += static_cast<double>(upTo - plan.tempos[i].place) / 1000 * 60000 /
            static_cast<double>(plan.tempos[i].tempo);
  }
  return time;
}

// Where a .chart reader puts tick `place`.
double ChartRead(const ChartPlan& plan, std::int64_t place) {
  double time = static_cast<double>(plan.offsetMicros) / 1e6;
  for (std::size_t i = 0; i < plan.tempos.size(); ++i) {
    const std::int64_t end = i + 1 < plan.tempos.size() ? plan.tempos[i + 1].place : INT64_MAX;
    const std::int64_t upTo = std::min(place, end);
    if (upTo <= plan.tempos[i].place) break;
    time += static_cast<double>(upTo - plan.tempos[i].place) / static_cast<double>(plan.resolution) *
            60000 / static_cast<double>(plan.tempos[i].tempo);
  }
  return time;
}

// Where Rekordbox puts each beat: an element's beats until the next one.
std::vector<double> RekordboxRead(const RekordboxPlan& plan, std::size_t count) {
  std::vector<double> read;
  for (std::size_t p = 0; p < plan.tempos.size(); ++p) {
    const double length = 6e6 / static_cast<double>(plan.tempos[p].tempo);
    for (int k = 0; read.size() < count; ++k) {
      const double at = static_cast<double>(plan.tempos[p].start) + k * length;
      if (p + 1 < plan.tempos.size() && at >= static_cast<double>(plan.tempos[p + 1].start) - length / 2) {
        break;
      }
      read.push_back(at / 1000);
    }
  }
  return read;
}

struct ChartCase {
  const char* name;
  std::vector<BeatTime> beats;
  std::size_t osuPoints;  // at most
  std::size_t smTempos;   // at most
  std::size_t chartTempos, rekordboxTempos;  // at most
};

std::vector<ChartCase> Cases() {
  std::vector<ChartCase> cases;
  cases.push_back({"steady, a whole millisecond", Steady(0, 0.5, 400), 1, 1, 1, 1});
  cases.push_back({"steady, no whole millisecond", Steady(1.2345678, 60.0 / 137.77777, 3000), 2, 12, 3, 21});
  std::vector<BeatTime> change = Steady(0.25, 0.5, 16);
  Then(change, 60.0 / 97.3333, 30, 3);
  cases.push_back({"tempo and meter change", change, 3, 4, 3, 3});
  std::vector<BeatTime> ramp = Steady(0, 0.6, 4);
  for (int i = 0; i < 40; ++i) Then(ramp, 0.6 - i * 0.005, 1, 1);
  cases.push_back({"a ramp, a tempo a beat", ramp, 41, 41, 41, 41});
  std::vector<BeatTime> played = Steady(0, 0.5, 200);
  for (std::size_t i = 0; i < played.size(); ++i) played[i].seconds += 0.0004 * std::sin(i * 1.7);
  cases.push_back({"played, within the bound of one tempo", played, 2, 8, 20, 8});
  return cases;
}

TEST(ChartTiming, EveryBeatReadBackWithinAMillisecond) {
  for (const ChartCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const OsuPlan osu = PlanOsuTiming(c.beats, 0.001);
    const std::vector<double> read = OsuRead(osu, c.beats.size());
    ASSERT_EQ(read.size(), c.beats.size());
    double worst = 0;
    for (std::size_t i = 0; i < read.size(); ++i) {
      worst = std::max(worst, std::fabs(read[i] - c.beats[i].seconds));
    }
    EXPECT_LE(worst, 0.001);
    EXPECT_NEAR(osu.largestDrift, worst, 1e-9);
    EXPECT_LE(osu.points.size(), c.osuPoints);

    const SmPlan sm = PlanSmTiming(c.beats, 0.001);
    worst = 0;
    std::int64_t place = 0;
    for (const BeatTime& beat : c.beats) {
      worst = std::max(worst, std::fabs(SmRead(sm, place) - beat.seconds));
      place += 4000 / beat.noteValue;
    }
    EXPECT_LE(worst, 0.001);
    EXPECT_NEAR(sm.largestDrift, worst, 1e-9);
    EXPECT_LE(sm.tempos.size(), c.smTempos);

    // A .chart within a tick at each beat's tempo (192 ticks a quarter note).
    const ChartPlan chart = PlanChartTiming(c.beats, 192);
    worst = 0;
    for (std::size_t i = 0; i < c.beats.size(); ++i) {
      const std::size_t next = i + 1 < c.beats.size() ? i + 1 : i - 1;
      const double tick = std::fabs(c.beats[next].seconds - c.beats[i].seconds) * c.beats[i].noteValue / 768;
      const double drift = std::fabs(ChartRead(chart, static_cast<std::int64_t>(i) * 768 / c.beats[i].noteValue) - c.beats[i].seconds);
      EXPECT_LE(drift, tick) << "beat " << i;
      worst = std::max(worst, drift);
    }
    EXPECT_NEAR(chart.largestDrift, worst, 1e-9);
    EXPECT_LE(chart.tempos.size(), c.chartTempos);

    const RekordboxPlan rekordbox = PlanRekordboxGrid(c.beats, 0.001);
    const std::vector<double> grid = RekordboxRead(rekordbox, c.beats.size());
    ASSERT_EQ(grid.size(), c.beats.size());
    worst = 0;
    for (std::size_t i = 0; i < grid.size(); ++i) worst = std::max(worst, std::fabs(grid[i] - c.beats[i].seconds));
    EXPECT_LE(worst, 0.001);
    EXPECT_NEAR(rekordbox.largestDrift, worst, 1e-9);
    EXPECT_LE(rekordbox.tempos.size(), c.rekordboxTempos);
  }
}

TEST(ChartTiming, MeterChangesStartTheirOwnTimingAtTheirBarLine) {
  // Two bars of 4/4 at 120, then the eighths of 6/8 at the same pace from 4 s.
  std::vector<BeatTime> beats = Steady(0, 0.5, 8);
  for (int i = 0; i < 12; ++i) beats.push_back({4.0 + 0.25 * i, 2 + i / 6, i % 6, 6, 8});
  const OsuPlan osu = PlanOsuTiming(beats, 0.001);
  ASSERT_EQ(osu.points.size(), 2u);
  EXPECT_EQ(osu.points[1].time, 4000);
  EXPECT_EQ(osu.points[1].meter, 6);

  const SmPlan sm = PlanSmTiming(beats, 0.001);
  ASSERT_EQ(sm.meters.size(), 2u);
  EXPECT_EQ(sm.meters[1].place, 8000);
  EXPECT_EQ(sm.meters[1].denominator, 8);
  ASSERT_EQ(sm.tempos.size(), 1u);  // eighths at 0.25 s are quarters at 120
  EXPECT_EQ(sm.tempos[0].tempo, 120000);
}

TEST(ChartTiming, TextKeepsTheGamesUnits) {
  const std::vector<BeatTime> beats = Steady(1.5, 60.0 / 97.3333, 8);
  const std::string sm = SmText(PlanSmTiming(beats, 0.001), "a.ogg", "t");
  EXPECT_NE(sm.find("#OFFSET:-1.500;"), std::string::npos) << sm;  // beat 0 after the start
  EXPECT_NE(sm.find("#BPMS:0.000=97.333;"), std::string::npos) << sm;
  EXPECT_NE(sm.find("#MUSIC:a.ogg;"), std::string::npos) << sm;
  const std::string early = SmText(PlanSmTiming(Steady(-0.0206, 0.5, 4), 0.001), "a", "t");
  EXPECT_NE(early.find("#OFFSET:0.021;"), std::string::npos) << early;

  const std::string osu = OsuText(PlanOsuTiming(Steady(0.0126, 0.5, 4, 3), 0.001), "a.ogg", "t");
  EXPECT_NE(osu.find("AudioFilename: a.ogg\r\n"), std::string::npos) << osu;
  EXPECT_NE(osu.find("[TimingPoints]\r\n13,"), std::string::npos) << osu;  // whole milliseconds
  EXPECT_NE(osu.find(",3,1,0,100,1,0\r\n\r\n[HitObjects]"), std::string::npos) << osu;
}

TEST(ChartTiming, OtherFormatsKeepTheirUnits) {
  const std::vector<BeatTime> beats = Steady(1.5, 60.0 / 97.3333, 8, 3);
  const std::string ssc = SscText(PlanSmTiming(beats, 0.001), "a.ogg", "t");
  EXPECT_EQ(ssc.rfind("#VERSION:0.83;\n#TITLE:t;\n#MUSIC:a.ogg;\n#OFFSET:-1.500;\n#BPMS:0.000=97.333;", 0), 0u) << ssc;

  std::vector<BeatTime> sixEight = Steady(0.25, 0.5, 3, 3);
  for (int i = 0; i < 12; ++i) sixEight.push_back({1.75 + 0.25 * i, 1 + i / 6, i % 6, 6, 8});
  const std::string named = SscText(PlanSmTiming(beats, 0.001), "a;b.ogg", "#1: \\o/");
  EXPECT_NE(named.find("#TITLE:\\#1\\: \\\\o/;\n#MUSIC:a\\;b.ogg;\n"), std::string::npos) << named;

  const std::string chart = ChartText(PlanChartTiming(sixEight, 480), "a \"b\"\n.ogg", "t");
  for (const char* line : {"  Offset = 0.250000\r\n", "  Resolution = 480\r\n",
                           "  MusicStream = \"a 'b'.ogg\"\r\n", "  0 = TS 3\r\n  0 = B 120000\r\n",
                           "  1440 = TS 6 3\r\n}"}) {
    EXPECT_NE(chart.find(line), std::string::npos) << line << "\n" << chart;
  }

  std::vector<BeatTime> bars = Steady(0.0004, 0.5, 6);
  bars[4].seconds += 0.3;  // a late beat: the grid starts again on it, in its bar
  bars[5].seconds += 0.3;
  const std::string xml = RekordboxText(PlanRekordboxGrid(bars, 0.001), "/m/a b&c.wav", "x<y>");
  for (const char* part : {"Name=\"x&lt;y&gt;\"", "Location=\"file://localhost/m/a%20b%26c.wav\"",
                           "<TEMPO Inizio=\"0.000\" Bpm=\"120.00\" Metro=\"4/4\" Battito=\"1\"/>",
                           "<TEMPO Inizio=\"2.300\" Bpm=\"120.00\" Metro=\"4/4\" Battito=\"1\"/>"}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part << "\n" << xml;
  }
}

TEST(ChartTiming, ChartRefusesBeatsOffItsTicks) {
  struct Case { int noteValue; std::int64_t resolution; bool fits; };
  for (const Case c : {Case{4, 1, true}, Case{8, 2, true}, Case{8, 1, false}, Case{16, 6, false},
                       Case{16, 192, true}, Case{6, 192, false}}) {
    SCOPED_TRACE(std::to_string(c.noteValue) + " at " + std::to_string(c.resolution));
    EXPECT_EQ(ChartMeterProblem(Steady(0, 0.5, 4, 4, c.noteValue), c.resolution).empty(), c.fits);
  }
}

}  // namespace
}  // namespace beatmarks
