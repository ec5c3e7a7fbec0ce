#include "picture/step_trace.h"

#include <cmath>

namespace beatmarks {

void StepTrace::Add(PlotPoint point) {
  const double column = std::floor(point.x);
  if (open_ && column == column_) {
    ++lastIndex_;
    last_ = point;
    if (point.y < low_.y) {
      low_ = point;
      lowIndex_ = lastIndex_;
    }
    if (point.y > high_.y) {
      high_ = point;
      highIndex_ = lastIndex_;
    }
    return;
  }
  Flush();
  open_ = true;
  column_ = column;
  first_ = low_ = high_ = last_ = point;
  lowIndex_ = highIndex_ = lastIndex_ = 0;
}

void StepTrace::Flush() {
  if (!open_) return;
  points_.push_back(first_);
  const bool lowFirst = lowIndex_ < highIndex_;
  for (int i = 0; i < 2; ++i) {
    const bool low = (i == 0) == lowFirst;
    const std::int64_t index = low ? lowIndex_ : highIndex_;
    if (index > 0 && index < lastIndex_) points_.push_back(low ? low_ : high_);
  }
  if (lastIndex_ > 0) points_.push_back(last_);
  open_ = false;
}

std::vector<PlotPoint> StepTrace::Finish() {
  Flush();
  std::vector<PlotPoint> points;
  points.swap(points_);
  return points;
}

}  // namespace beatmarks
