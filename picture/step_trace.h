#pragma once

#include <cstdint>
#include <vector>

namespace beatmarks {

struct PlotPoint {
  double x;
  double y;
};

// The vertices of a line drawn left to right, thinned to at most four per
// pixel column: the first and last there, and the lowest and highest between
// them in their order. Steps and spikes narrower than a pixel still show, and
// a line of any number of vertices stays a few thousand points long.
class StepTrace {
 public:
  // Adds the next vertex; x never decreases.
  void Add(PlotPoint point);
  // The thinned vertices.
  std::vector<PlotPoint> Finish();

 private:
  void Flush();

  std::vector<PlotPoint> points_;
  bool open_ = false;  // a column is being gathered
  double column_ = 0;
  PlotPoint first_{}, low_{}, high_{}, last_{};
  std::int64_t lowIndex_ = 0, highIndex_ = 0, lastIndex_ = 0;
};

}  // namespace beatmarks
