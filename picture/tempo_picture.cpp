#include "picture/tempo_picture.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "picture/plot_axis.h"
#include "picture/step_trace.h"
#include "picture/svg_text.h"
#include "picture/tempo_range.h"

namespace beatmarks {
namespace {

constexpr double kWidth = 960, kHeight = 540;
constexpr double kLeft = 84, kRight = 936, kTop = 76, kBottom = 468;
constexpr std::int64_t kMostMeasureLines = 100;
constexpr std::size_t kMostMeterLines = 40;
constexpr double kLowestTempo = 1e-100, kHighestTempo = 1e100;
constexpr double kCharacterWidth = 0.6;  // of the font size, for sans-serif text
constexpr double kNowhere = -std::numeric_limits<double>::infinity();

// A tempo in a note: four significant digits ("608.3").
std::string TempoLabel(double bpm) {
  char digits[64];
  const auto result = std::to_chars(digits, digits + sizeof digits, bpm, std::chars_format::general, 4);
  return result.ec == std::errc() ? std::string(digits, result.ptr) : "?";
}

struct Frame {
  PlotAxis time;
  PlotAxis tempo;
  double end;

  double X(double seconds) const { return kLeft + time.Fraction(seconds) * (kRight - kLeft); }
  double Y(double bpm) const { return kBottom - tempo.Fraction(bpm) * (kBottom - kTop); }
  bool Inside(double seconds) const { return seconds >= 0 && seconds <= end; }
};

// The steps as drawn: known tempos, starts within the map and in order, and
// none that lasts no time unless it is the only one.
std::vector<TempoStep> DrawnSteps(const std::vector<TempoStep>& steps, double end) {
  std::vector<TempoStep> drawn;
  double earliest = 0;
  for (const TempoStep& step : steps) {
    if (!(std::isfinite(step.bpm) && step.bpm > 0) || std::isnan(step.start)) continue;
    const TempoStep kept{std::clamp(step.start, earliest, end),
                         std::clamp(step.bpm, kLowestTempo, kHighestTempo)};
    earliest = kept.start;
    if (!drawn.empty() && drawn.back().start == kept.start) {
      drawn.back() = kept;
    } else {
      drawn.push_back(kept);
    }
  }
  if (drawn.size() > 1 && drawn.back().start == end) drawn.pop_back();
  return drawn;
}

PlotAxis TempoAxisFor(const TempoRange& range, TempoUnit unit) {
  const std::string name =
      unit == TempoUnit::kQuarterNotes ? "quarter notes per minute" : "beats per minute";
  return TempoAxis(range.lo, range.hi, name);
}

void Attribute(std::string& out, const char* name, double value) {
  out += ' ';
  out += name;
  out += "=\"";
  AppendCoordinate(out, value);
  out += '"';
}

void Text(std::string& out, double x, double y, const std::string& escaped) {
  out += "<text";
  Attribute(out, "x", x);
  Attribute(out, "y", y);
  out += '>';
  out += escaped;
  out += "</text>\n";
}

// A move to (x, y), then a vertical ('V') or horizontal ('H') line to `end`.
void StraightLine(std::string& path, double x, double y, char direction, double end) {
  path += 'M';
  AppendCoordinate(path, x);
  path += ' ';
  AppendCoordinate(path, y);
  path += direction;
  AppendCoordinate(path, end);
}

void VerticalLine(std::string& path, double x, double top, double bottom) {
  StraightLine(path, x, top, 'V', bottom);
}

void HorizontalLine(std::string& path, double y, double left, double right) {
  StraightLine(path, left, y, 'H', right);
}

void Path(std::string& out, const char* style, const std::string& d) {
  if (d.empty()) return;
  out += "<path fill=\"none\" ";
  out += style;
  out += " d=\"";
  out += d;
  out += "\"/>\n";
}

void WriteTitle(const TempoPicture& picture, std::string& out) {
  const XmlText title = EscapeXml(picture.title.empty() ? "Tempo map" : picture.title, 70);
  out += "<title>" + title.escaped + "</title>\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
  out += "<text x=\"480\" y=\"34\" font-size=\"18\" text-anchor=\"middle\" fill=\"#222\">";
  out += title.escaped + "</text>\n";
}

void WriteTempoGrid(const Frame& f, std::string& out) {
  std::string grid;
  out += "<g font-size=\"11\" text-anchor=\"end\" fill=\"#444\">\n";
  for (const AxisTick& tick : f.tempo.ticks) {
    const double y = f.Y(tick.value);
    HorizontalLine(grid, y, kLeft, kRight);
    Text(out, kLeft - 8, y + 4, EscapeXml(tick.label, 24).escaped);
  }
  out += "</g>\n";
  Path(out, "stroke=\"#e4e4e4\"", grid);
  out += "<text transform=\"translate(22 272) rotate(-90)\" font-size=\"13\" "
         "text-anchor=\"middle\" fill=\"#222\">" + f.tempo.title + "</text>\n";
}

// Measure lines at a round stride, numbered (from 1, or the run's first
// number) where the numbers fit.
void WriteMeasures(const Frame& f, const TempoPicture& picture, std::string& out) {
  if (!picture.measureTime || picture.measureCount <= 0) return;
  const std::int64_t count = picture.measureCount;
  const std::int64_t stride = MeasureStride(count, kMostMeasureLines);
  std::string lines;
  double lastX = kNowhere, labelsEnd = kNowhere;
  out += "<g font-size=\"9\" fill=\"#999\">\n";
  for (std::int64_t k = 0;; k += stride) {
    const double t = picture.measureTime(k);
    const double x = f.X(t);
    if (f.Inside(t) && x - lastX >= 1) {
      lastX = x;
      VerticalLine(lines, x, kTop, kBottom);
      const std::string number = std::to_string(k + picture.firstMeasureNumber);
      const double width = 9 * kCharacterWidth * static_cast<double>(number.size());
      if (x + 2 >= labelsEnd + 4 && x + 2 + width <= kRight) {
        Text(out, x + 2, kTop + 10, number);
        labelsEnd = x + 2 + width;
      }
    }
    if (count - k <= stride) break;
  }
  out += "</g>\n";
  Path(out, "stroke=\"#d6d6d6\"", lines);
}

// Meter changes: dashed lines, or short marks above the plot when there are
// too many to tell apart; their labels above those where they fit.
void WriteMeters(const Frame& f, const TempoPicture& picture, std::string& out) {
  std::vector<double> xs;
  for (const MeterMark& meter : picture.meters) {
    const double x = f.X(meter.time);
    if (f.Inside(meter.time) && (xs.empty() || x - xs.back() >= 1)) xs.push_back(x);
  }
  const bool full = xs.size() <= kMostMeterLines;
  std::string lines;
  for (double x : xs) VerticalLine(lines, x, kTop - (full ? 4 : 7), full ? kBottom : kTop);
  double labelsEnd = kNowhere;
  out += "<g font-size=\"12\" text-anchor=\"middle\" fill=\"#7a3fb0\">\n";
  for (const MeterMark& meter : picture.meters) {
    if (!f.Inside(meter.time)) continue;
    const double x = f.X(meter.time);
    const XmlText label = EscapeXml(meter.label, 12);
    const double half = 12 * kCharacterWidth * static_cast<double>(label.characters) / 2;
    const double center = std::clamp(x, kLeft + half, kRight - half);
    if (center - half >= labelsEnd + 6) {
      Text(out, center, kTop - 10, label.escaped);
      labelsEnd = center + half;
    }
  }
  out += "</g>\n";
  Path(out, full ? "stroke=\"#7a3fb0\" stroke-dasharray=\"4 3\"" : "stroke=\"#7a3fb0\"", lines);
}

// Section names inside the top of the plot, each from where its section
// begins, left out where the one before would overlap it.
void WriteNames(const Frame& f, const TempoPicture& picture, std::string& out) {
  if (picture.names.empty()) return;
  double labelsEnd = kNowhere;
  out += "<g font-size=\"10\" fill=\"#2a6f3f\">\n";
  for (const MeterMark& name : picture.names) {
    if (!f.Inside(name.time)) continue;
    const double x = f.X(name.time) + 3;
    const XmlText label = EscapeXml(name.label, 40);
    const double width = 10 * kCharacterWidth * static_cast<double>(label.characters);
    if (x >= labelsEnd + 6 && x + width <= kRight) {
      Text(out, x, kTop + 24, label.escaped);
      labelsEnd = x + width;
    }
  }
  out += "</g>\n";
}

void WriteTrace(const Frame& f, const std::vector<TempoStep>& steps, std::string& out) {
  StepTrace trace;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const double y = f.Y(steps[i].bpm);
    trace.Add({f.X(steps[i].start), y});
    trace.Add({f.X(i + 1 < steps.size() ? steps[i + 1].start : f.end), y});
  }
  std::string points;
  for (const PlotPoint& p : trace.Finish()) {
    if (!points.empty()) points += ' ';
    AppendCoordinate(points, p.x);
    points += ',';
    AppendCoordinate(points, p.y);
  }
  if (points.empty()) return;
  out += "<polyline fill=\"none\" stroke=\"#1f6fd1\" stroke-width=\"2\" "
         "stroke-linejoin=\"round\" points=\"" + points + "\"/>\n";
}

// Tempos off the axis, drawn at its edge: a red wedge pointing off it where
// each begins (one every few pixels), and the farthest named in a corner.
void WriteOutliers(const Frame& f, const std::vector<TempoStep>& steps, const TempoRange& range,
                   std::string& out) {
  if (!range.Clips()) return;
  std::string marks;
  double lastX = kNowhere;
  for (const TempoStep& step : steps) {
    const bool high = step.bpm > range.hi;
    if (!high && step.bpm >= range.lo) continue;
    const double x = f.X(step.start);
    if (x - lastX < 6) continue;
    lastX = x;
    const double tip = high ? kTop + 2 : kBottom - 2, base = high ? tip + 8 : tip - 8;
    marks += 'M';
    AppendCoordinate(marks, x - 4);
    marks += ' ';
    AppendCoordinate(marks, base);
    marks += 'L';
    AppendCoordinate(marks, x);
    marks += ' ';
    AppendCoordinate(marks, tip);
    marks += 'L';
    AppendCoordinate(marks, x + 4);
    marks += ' ';
    AppendCoordinate(marks, base);
    marks += 'Z';
  }
  out += "<path fill=\"#d1361f\" d=\"" + marks + "\"/>\n";
  std::string note = "off the axis:";
  if (range.lowest < range.lo) note += " down to " + TempoLabel(range.lowest);
  if (range.highest > range.hi) note += " up to " + TempoLabel(range.highest);
  out += "<g font-size=\"11\" text-anchor=\"end\" fill=\"#d1361f\">\n";
  Text(out, kRight - 6, kBottom - 14, EscapeXml(note, 60).escaped);
  out += "</g>\n";
}

// A listened run's beats: ticks up from the bottom of the plot, at most one
// a pixel of each kind; where following stopped, a dotted line and its name.
void WriteListened(const Frame& f, const TempoPicture& picture, std::string& out) {
  std::string ticks[2];
  double lastX[2] = {kNowhere, kNowhere};
  for (const ListenedBeat& beat : picture.listened) {
    const double x = f.X(beat.time);
    if (!f.Inside(beat.time) || x - lastX[beat.placed] < 1) continue;
    lastX[beat.placed] = x;
    VerticalLine(ticks[beat.placed], x, kBottom - (beat.placed ? 14 : 7), kBottom);
  }
  Path(out, "stroke=\"#1a9c8c\"", ticks[0]);
  Path(out, "stroke=\"#e07b00\" stroke-width=\"2\"", ticks[1]);
  if (!picture.followedTo || !f.Inside(picture.followedTo->time)) return;
  const double x = f.X(picture.followedTo->time);
  std::string line;
  VerticalLine(line, x, kTop, kBottom);
  Path(out, "stroke=\"#1a9c8c\" stroke-dasharray=\"2 3\"", line);
  const XmlText label = EscapeXml("followed to " + picture.followedTo->label, 40);
  const double width = 10 * kCharacterWidth * static_cast<double>(label.characters);
  out += "<g font-size=\"10\" text-anchor=\"end\" fill=\"#1a9c8c\">\n";
  Text(out, std::max(x - 3, kLeft + width), kBottom - 20, label.escaped);
  out += "</g>\n";
}

void WriteTimeAxis(const Frame& f, std::string& out) {
  std::string marks;
  out += "<g font-size=\"11\" text-anchor=\"middle\" fill=\"#444\">\n";
  for (const AxisTick& tick : f.time.ticks) {
    const double x = f.X(tick.value);
    VerticalLine(marks, x, kBottom, kBottom + 5);
    Text(out, x, kBottom + 19, EscapeXml(tick.label, 24).escaped);
  }
  out += "</g>\n";
  Path(out, "stroke=\"#444\"", marks);
  out += "<text x=\"510\" y=\"512\" font-size=\"13\" text-anchor=\"middle\" fill=\"#222\">" +
         f.time.title + "</text>\n";
}

}  // namespace

void WriteTempoSvg(const TempoPicture& picture, std::string& out) {
  const double end = std::isfinite(picture.end) && picture.end > 0 ? picture.end : 0;
  const std::vector<TempoStep> steps = DrawnSteps(picture.steps, end);
  const TempoRange range = PlayedTempos(steps, end);
  const Frame frame{TimeAxis(end > 0 ? end : 1), TempoAxisFor(range, picture.tempoUnit), end};
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\"";
  Attribute(out, "width", kWidth);
  Attribute(out, "height", kHeight);
  out += " viewBox=\"0 0 960 540\" font-family=\"sans-serif\">\n";
  WriteTitle(picture, out);
  WriteTempoGrid(frame, out);
  WriteMeasures(frame, picture, out);
  WriteMeters(frame, picture, out);
  WriteNames(frame, picture, out);
  WriteTrace(frame, steps, out);
  WriteOutliers(frame, steps, range, out);
  WriteListened(frame, picture, out);
  out += "<rect";
  Attribute(out, "x", kLeft);
  Attribute(out, "y", kTop);
  Attribute(out, "width", kRight - kLeft);
  Attribute(out, "height", kBottom - kTop);
  out += " fill=\"none\" stroke=\"#444\"/>\n";
  WriteTimeAxis(frame, out);
  out += "</svg>\n";
}

}  // namespace beatmarks
