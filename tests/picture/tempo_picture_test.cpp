// Pictures of ordinary, huge, extreme and broken tempo maps parsed as XML by
// Python and rendered by rsvg-convert; the axes, measure stride, line
// thinning and escaping checked on generated inputs.
#include "picture/tempo_picture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <random>
#include <set>

#include "e2e/run_program.h"
#include "picture/plot_axis.h"
#include "picture/step_trace.h"
#include "picture/svg_text.h"

namespace beatmarks {
namespace {

using namespace testing;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Sections of equal beats: {measures, beats per measure, tempo from, tempo to, meter}.
struct Section {
  int measures, beats;
  double from, to;
  const char* meter;
};

TempoPicture Map(const std::vector<Section>& sections) {
  TempoPicture p;
  auto starts = std::make_shared<std::vector<double>>();
  double t = 0;
  for (const Section& s : sections) {
    p.meters.push_back({t, s.meter});
    const int beats = s.measures * s.beats;
    for (int b = 0; b < beats; ++b) {
      if (b % s.beats == 0) starts->push_back(t);
      const double bpm = s.from + (s.to - s.from) * b / beats;
      if (p.steps.empty() || p.steps.back().bpm != bpm) p.steps.push_back({t, bpm});
      t += 60 / bpm;
    }
  }
  p.end = t;
  p.measureCount = static_cast<std::int64_t>(starts->size());
  p.measureTime = [starts](std::int64_t k) { return starts->at(static_cast<std::size_t>(k)); };
  return p;
}

// Ten measures at 120: 40 beats, every seventh placed, the others followed,
// and one beat with no time.
TempoPicture Listened() {
  TempoPicture p = Map({{10, 4, 120, 120, "4/4"}});
  for (int i = 0; i < 40; ++i) p.listened.push_back({i * 0.5, i % 7 == 0});
  p.listened.push_back({kNaN, false});
  p.followedTo = FollowMark{19.5, "10.4"};
  return p;
}

// Each kind of listened beat is one path of ticks, one tick a beat, and
// where following stopped is named.
TEST(TempoPicture, ListenedBeatsMarked) {
  std::string svg;
  WriteTempoSvg(Listened(), svg);
  const auto ticks = [&svg](const std::string& style) {
    const std::size_t at = svg.find("<path fill=\"none\" " + style + " d=\"");
    if (at == std::string::npos) return std::size_t{0};
    const std::size_t end = svg.find('"', svg.find(" d=\"", at) + 4);
    return static_cast<std::size_t>(std::count(svg.begin() + static_cast<std::ptrdiff_t>(at),
                                                svg.begin() + static_cast<std::ptrdiff_t>(end), 'M'));
  };
  EXPECT_EQ(ticks("stroke=\"#1a9c8c\""), 34u);
  EXPECT_EQ(ticks("stroke=\"#e07b00\" stroke-width=\"2\""), 6u);
  EXPECT_NE(svg.find(">followed to 10.4</text>"), std::string::npos);
  std::string plain;
  WriteTempoSvg(Map({{10, 4, 120, 120, "4/4"}}), plain);
  EXPECT_EQ(plain.find("1a9c8c"), std::string::npos);
}

std::map<std::string, TempoPicture> Pictures(int& calls) {
  std::map<std::string, TempoPicture> all;
  all["song"] = Map({{24, 4, 96, 96, "4/4"}, {8, 3, 84, 84, "3/4"}, {16, 4, 100, 140, "4/4"},
                     {48, 3, 140, 140, "6/8"}});
  std::mt19937 rng(5);
  std::vector<Section> sections;
  for (int i = 0; i < 400; ++i) {
    sections.push_back({1 + int(rng() % 4), 2 + int(rng() % 5), 60.0 + rng() % 140,
                        60.0 + rng() % 140, i % 3 ? "4/4" : "7/8"});
  }
  all["sections"] = Map(sections);
  TempoPicture& ramp = all["ramp"];
  for (int i = 0; i < 100000; ++i) ramp.steps.push_back({i * 0.01, i % 997 ? 60 + i * 0.0012 : 400});
  ramp.end = 1000;
  ramp.measureCount = 1'000'000'000'000;
  ramp.measureTime = [&calls](std::int64_t k) { return ++calls, k * 1e-9; };
  all["single"] = Map({{10, 4, 120, 120, "4/4"}});
  all["extreme"] = {5, {{0, 1e-30}, {1, 3.4e38}, {2, kNaN}, {kNaN, 7}, {1.5, -5}, {3, 0},
                        {2.5, kInf}, {4, 1e-30}}, {{0, "1/1"}, {kNaN, "x"}, {-1, "y"}},
                    std::numeric_limits<std::int64_t>::max(),
                    [](std::int64_t k) { return k % 2 ? kNaN : 1.0; }, "extreme"};
  all["huge"] = {1e300, {{0, 3.4e38}, {1e299, 3.3e38}}, {}, 0, {}, "huge"};
  all["tiny"] = {1e-12, {{0, 1e-30}}, {{0, "4/4"}}, 0, {}, "tiny"};
  all["empty"] = {0, {{0, 96}}, {{0, "4/4"}}, 0, {}, ""};
  all["nothing"] = {kNaN, {}, {}, -3, {}, ""};
  all["title"] = Map({{2, 4, 90, 90, "<7/8>"}});
  all["title"].title = "a<b & \"c\" 'd'\x01\xFF\xC3\xA9";
  all["listened"] = Listened();
  return all;
}

TEST(TempoPicture, WellFormedSmallAndRenderable) {
  if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "needs /usr/bin/python3";
  TempFolder folder;
  int calls = 0;
  std::string files;
  for (auto& [name, picture] : Pictures(calls)) {
    std::string svg;
    WriteTempoSvg(picture, svg);
    EXPECT_LT(svg.size(), 200'000u) << name;
    for (const char* bad : {"nan", "inf", "NaN", "Inf"}) EXPECT_EQ(svg.find(bad), svg.npos) << name;
    WriteFile(folder.File(name + ".svg"), svg);
    files += " " + folder.File(name + ".svg");
  }
  EXPECT_LE(calls, 101);  // only the measures drawn are asked for
  WriteFile(folder.File("check.py"), R"(import re, sys, xml.etree.ElementTree as ET
NS = '{http://www.w3.org/2000/svg}'
for path in sys.argv[1:]:
    root = ET.parse(path).getroot()
    assert root.tag == NS + 'svg' and root.get('viewBox') == '0 0 960 540', path
    assert len(list(root.iter())) < 1000, path
    for e in root.iter():
        for name in ('x', 'y', 'width', 'height', 'points', 'd'):
            for n in re.findall(r'-?[0-9.]+', e.get(name, '').rstrip('%')):
                assert -1 <= float(n) <= 961, (path, name, n)
    open(path + '.title', 'w', encoding='utf-8').write(root.find(NS + 'title').text)
)");
  ASSERT_EQ(std::system(("/usr/bin/python3 " + folder.File("check.py") + files).c_str()), 0);
  EXPECT_EQ(ReadFile(folder.File("title.svg.title")), "a<b & \"c\" 'd'\uFFFD\uFFFD\u00E9");
  EXPECT_EQ(ReadFile(folder.File("empty.svg.title")), "Tempo map");

  if (std::system("command -v rsvg-convert >/dev/null") != 0) {
    GTEST_SKIP() << "rsvg-convert not found (Debian: librsvg2-bin): pictures not rendered";
  }
  for (auto& [name, picture] : Pictures(calls)) {
    const std::string png = folder.File(name + ".png");
    ASSERT_EQ(std::system(("rsvg-convert -o " + png + " " + folder.File(name + ".svg")).c_str()), 0);
    EXPECT_EQ(ReadFile(png).substr(0, 4), "\x89PNG") << name;
  }
}

// The step is 1, 2 or 5 times a power of ten.
bool Round(double step) {
  const double mantissa = step / std::pow(10, std::floor(std::log10(step)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (std::fabs(mantissa - m) < 1e-6) return true;
  }
  return false;
}

void CheckTicks(const PlotAxis& axis, std::size_t fewest) {
  ASSERT_GE(axis.ticks.size(), fewest);
  ASSERT_LE(axis.ticks.size(), 40u);
  std::set<std::string> labels;
  for (std::size_t i = 0; i < axis.ticks.size(); ++i) {
    const AxisTick& tick = axis.ticks[i];
    EXPECT_TRUE(tick.value >= axis.lo && tick.value <= axis.hi * (1 + 1e-12)) << tick.value;
    EXPECT_TRUE(labels.insert(tick.label).second) << "repeated " << tick.label;
    EXPECT_EQ(tick.label.find_first_of("ni?"), tick.label.npos) << tick.label;
    if (i > 1 && !axis.log) {
      EXPECT_NEAR(tick.value - axis.ticks[i - 1].value, axis.ticks[1].value - axis.ticks[0].value,
                  1e-9 * tick.value);
    }
  }
}

TEST(PlotAxis, TempoAxesAreRoundAndHoldEveryTempo) {
  for (double low = 1e-30; low < 3.4e38; low *= 7.3) {
    for (double ratio : {1.0, 1.0001, 1.5, 30.0, 100.0, 101.0, 1e5, 1e40}) {
      const double high = std::min(low * ratio, 3.4e38);
      SCOPED_TRACE(::testing::Message() << low << ".." << high);
      const PlotAxis axis = TempoAxis(low, high);
      EXPECT_EQ(axis.log, high / low > 100);
      EXPECT_TRUE(axis.lo >= 0 && axis.lo <= low && axis.hi >= high && std::isfinite(axis.hi));
      EXPECT_GE(axis.Fraction(high) - axis.Fraction(low), high / low > 1.4 ? 0.7 : 0.0);
      CheckTicks(axis, axis.log ? 3 : 4);
      if (!axis.log) {
        EXPECT_TRUE(Round(axis.ticks[1].value - axis.ticks[0].value));
      }
    }
  }
  EXPECT_GT(TempoAxis(120, 120).lo, 0);  // near the tempo, not from 0
}

TEST(PlotAxis, TimeAxesInSecondsOrMinutes) {
  for (double end = 1e-6; end < 1e12; end *= 1.9) {
    SCOPED_TRACE(end);
    const PlotAxis axis = TimeAxis(end);
    CheckTicks(axis, 2);
    EXPECT_EQ(axis.ticks[0].value, 0);
    const double step = axis.ticks[1].value;
    const bool clock = end >= 120 && end < 1e6;
    EXPECT_EQ(axis.ticks[1].label.find(':') != std::string::npos, clock);
    EXPECT_TRUE(clock ? std::fmod(60, step) == 0 || std::fmod(step, 60) == 0 : Round(step)) << step;
  }
  EXPECT_EQ(TimeAxis(185).ticks[2].label, "1:00");
  EXPECT_EQ(TimeAxis(3).ticks[1].label, "0.5");
}

TEST(PlotAxis, MeasureStrideIsTheSmallestRoundOneThatFits) {
  constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
  const struct {
    std::int64_t count, most, stride;
  } cases[] = {{0, 100, 1},     {100, 100, 1},     {101, 100, 2},  {201, 100, 5},
               {1000, 100, 10}, {1001, 100, 20},   {1'000'000'000'000, 100, 10'000'000'000},
               {kMost, 100, 100'000'000'000'000'000}, {kMost, 1, kMost}};
  for (const auto& c : cases) EXPECT_EQ(MeasureStride(c.count, c.most), c.stride) << c.count;
}

TEST(StepTrace, KeepsEachColumnsEndsAndExtremes) {
  std::mt19937 rng(3);
  std::vector<PlotPoint> in;
  double x = 0;
  for (int i = 0; i < 200000; ++i) {
    x += rng() % 50 ? (rng() % 100) * 1e-4 : (rng() % 300) * 0.1;
    in.push_back({x, double(rng() % 1000) - 500});
  }
  StepTrace trace;
  for (const PlotPoint& p : in) trace.Add(p);
  const std::vector<PlotPoint> out = trace.Finish();
  // Both split into runs of one column: {first, last, low, high, count}.
  auto runs = [](const std::vector<PlotPoint>& points) {
    std::vector<std::array<double, 5>> r;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const PlotPoint& p = points[i];
      if (i == 0 || std::floor(p.x) != std::floor(points[i - 1].x)) r.push_back({p.y, p.y, p.y, p.y, 0});
      auto& run = r.back();
      run = {run[0], p.y, std::min(run[2], p.y), std::max(run[3], p.y), run[4] + 1};
      EXPECT_TRUE(i == 0 || p.x >= points[i - 1].x);
    }
    return r;
  };
  const auto expected = runs(in), actual = runs(out);
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    for (int k = 0; k < 4; ++k) ASSERT_EQ(actual[i][k], expected[i][k]) << "column run " << i;
    ASSERT_LE(actual[i][4], std::min(4.0, expected[i][4]));
  }
}

TEST(SvgText, EscapesAndRepairsText) {
  const struct {
    const char* text;
    std::size_t most;
    const char* escaped;
    std::size_t characters;
  } cases[] = {
      {"6/8", 12, "6/8", 3},
      {"<&>\"'", 12, "&lt;&amp;&gt;&quot;&apos;", 5},
      {"a\tb\x7F", 12, "a\uFFFDb\uFFFD", 4},
      {"\xC3\xA9\xF0\x9F\x8E\xB5", 12, "\u00E9\U0001F3B5", 2},
      {"\xC3", 12, "\uFFFD", 1},                      // cut short
      {"\xE0\x80\x80", 12, "\uFFFD\uFFFD\uFFFD", 3},  // overlong
      {"\xED\xA0\x80", 12, "\uFFFD\uFFFD\uFFFD", 3},  // surrogate
      {"\xF4\x90\x80\x80", 12, "\uFFFD\uFFFD\uFFFD\uFFFD", 4},  // past U+10FFFF
      {"\xEF\xBF\xBF", 12, "\uFFFD", 1},
      {"abcdef", 3, "abc\u2026", 4},
      {"", 3, "", 0},
  };
  for (const auto& c : cases) {
    const XmlText text = EscapeXml(c.text, c.most);
    EXPECT_EQ(text.escaped, c.escaped) << c.text;
    EXPECT_EQ(text.characters, c.characters) << c.text;
  }
  const struct {
    double value;
    const char* text;
  } numbers[] = {{12.34, "12.3"}, {3, "3"}, {-0.04, "0"}, {kNaN, "0"}, {1e300, "100000"},
                 {-kInf, "-100000"}, {0.96, "1"}};
  for (const auto& n : numbers) {
    std::string out;
    AppendCoordinate(out, n.value);
    EXPECT_EQ(out, n.text) << n.value;
  }
}

}  // namespace
}  // namespace beatmarks
