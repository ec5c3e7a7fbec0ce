#pragma once

// The pieces of a summary table: clock times, tempo spreads, and rows
// padded to column widths found beforehand (so rows stream in a second walk).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/beat_walk.h"
#include "exact/exact_time.h"
#include "exact/rational.h"
#include "files/export_file.h"

namespace beatmarks {

// Seconds as m:ss.mmm (h:mm:ss.mmm from an hour on), then exactly to the
// nanosecond in parentheses.
std::string Clock(const Rational& seconds);
// The same for time n of a line of times, into `clock`: quick where the
// line's fixed point decides the roundings, and no allocation once the
// texts (the other two are room) have grown.
struct ClockText {
  std::string clock, millis, exact;
};
void ClockAt(const LinearTime& time, unsigned __int128 n, ClockText& text);

// "6/8" where the stretch has a time signature, else "4 beats".
std::string MeterOf(const Stretch& s);

// Beats begun in the stretch: its divisions at the start of a beat.
std::int64_t BeatsBegun(const Stretch& s, std::int32_t divisions);

// Tempos of beats, each counted `beats` times: the slowest, the mean and the
// fastest, to two decimals ("96.20–101.37–108.00", one number when all
// three agree).
class TempoSpread {
 public:
  void Add(double bpm, std::int64_t beats);
  bool Empty() const { return beats_ == 0; }
  std::string Text() const;

 private:
  double least_ = 0, most_ = 0;
  long double sum_ = 0;
  std::int64_t beats_ = 0;
};

// Column widths as the terminal shows the cells, and rows padded to them:
// the columns marked in `right` are aligned right, two spaces apart, no
// spaces at the end of a line.
template <std::size_t Columns>
struct SummaryTable {
  using Cells = std::array<const std::string*, Columns>;
  std::array<bool, Columns> right{};
  std::array<std::size_t, Columns> width{};

  void Widen(const Cells& cells);
  void Write(const Cells& cells, ExportFile& out) const;
};

std::size_t ShownWidth(const std::string& cell);
void AppendPadded(std::string& line, const std::string& cell, std::size_t width, bool right);

template <std::size_t Columns>
void SummaryTable<Columns>::Widen(const Cells& cells) {
  // A cell is never wider than its bytes.
  for (std::size_t i = 0; i < Columns; ++i) {
    if (cells[i]->size() > width[i]) width[i] = std::max(width[i], ShownWidth(*cells[i]));
  }
}

template <std::size_t Columns>
void SummaryTable<Columns>::Write(const Cells& cells, ExportFile& out) const {
  std::string& line = out.text();
  const std::size_t begin = line.size();
  for (std::size_t i = 0; i < Columns; ++i) {
    AppendPadded(line, *cells[i], width[i], right[i]);
    if (i + 1 < Columns) line += "  ";
  }
  while (line.size() > begin && line.back() == ' ') line.pop_back();
  line += '\n';
  out.Filled();
}

}  // namespace beatmarks
