#include "tmap/map_cursor.h"

namespace beatmarks {

std::optional<std::string_view> MapCursor::Next(std::string_view separators) {
  std::size_t begin = text_.find_first_not_of(separators, pos_);
  if (begin == std::string_view::npos) {
    pos_ = text_.size();
    return std::nullopt;
  }
  std::size_t end = text_.find_first_of(separators, begin);
  if (end == std::string_view::npos) {
    pos_ = text_.size();
    return text_.substr(begin);
  }
  pos_ = end + 1;
  return text_.substr(begin, end - begin);
}

}  // namespace beatmarks
