#include "audio/mark_source.h"

#include <algorithm>

namespace beatmarks {

bool SpanMarks::Next(BeatMark& mark) {
  if (next_ >= marks_.size()) return false;
  mark = marks_[next_++];
  return true;
}

std::int64_t SpanMarks::MarkerCount() {
  return static_cast<std::int64_t>(std::count_if(marks_.begin(), marks_.end(), HasMarker));
}

std::span<const BeatMark> MarkFeed::Through(std::int64_t frame) {
  while (!ended_ && (held_.empty() || held_.back().frame <= frame)) {
    BeatMark mark;
    if (!source_.Next(mark)) {
      ended_ = true;
      break;
    }
    if (mark.frame < lastFrame_) outOfOrder_ = true;
    lastFrame_ = mark.frame;
    held_.push_back(mark);
  }
  return held_;
}

void MarkFeed::Drop(std::size_t count) {
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(std::min(count, held_.size())));
}

}  // namespace beatmarks
