// Any bytes read as TIMES twice: whole from memory, and fed a few bytes at a
// time through a small window. Both readings must tell the same, time for
// time; a difference aborts.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/map_file.h"
#include "locate/times_reader.h"

namespace {

using beatmarks::ByteFeed;
using beatmarks::TimedName;
using beatmarks::TimesReader;

// At most `piece` bytes a read, as a pipe gives them.
class PieceFeed final : public ByteFeed {
 public:
  PieceFeed(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
  std::size_t Read(char* into, std::size_t size) override {
    const std::size_t given = std::min({size, piece_, bytes_.size()});
    std::memcpy(into, bytes_.data(), given);
    bytes_.remove_prefix(given);
    return given;
  }
  const std::string& Failure() const override { return failure_; }

 private:
  std::string_view bytes_;
  std::size_t piece_;
  std::string failure_;
};

std::string Told(TimesReader& reader) {
  TimedName time;
  std::string text;
  for (int taken = 0; taken < 100000 && reader.Next(time); ++taken) {
    text.append(time.time).append("|").append(time.name).append("@").append(std::to_string(time.line));
    if (const auto note = reader.Column("note")) text.append("[").append(reader.Field(*note)).append("]");
    text += ';';
  }
  text.append(std::to_string(static_cast<int>(reader.form()))).append(" ");
  return text.append(std::to_string(reader.headerLine())).append(" ").append(reader.error());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t block = data[0] % 64 + 1, piece = data[1] % 16 + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  TimesReader whole(bytes);
  PieceFeed feed(bytes, piece);
  TimesReader fed(feed, "TIMES", block);
  if (Told(whole) != Told(fed)) std::abort();
  return 0;
}
