#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace beatmarks {

// One cursor over the whole tempo map text. Each token is taken with its own
// set of separators, so a value may be the rest of a line or stop at a tab.
class MapCursor {
 public:
  explicit MapCursor(std::string_view text) : text_(text) {}

  // Skips separators; the token runs to the next separator or the end of the
  // text, and the cursor moves past that one separator. Nothing at the end.
  std::optional<std::string_view> Next(std::string_view separators);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace beatmarks
