#include "audio/cue_chunks.h"

#include <algorithm>
#include <string>

namespace beatmarks {
namespace {

constexpr std::size_t kCuePointSize = 24;
constexpr std::size_t kFlushSize = 1 << 16;

bool IsMarker(const BeatMark& mark, std::int64_t frameCount) {
  return HasMarker(mark) && mark.frame < frameCount;
}

std::string Label(const BeatMark& mark) {
  return std::to_string(mark.measure) + "." + std::to_string(mark.beat);
}

// Body size of a labl entry: the cue id and the name with its ending zero.
std::uint32_t LabelSize(const BeatMark& mark) {
  return static_cast<std::uint32_t>(4 + Label(mark).size() + 1);
}

std::uint64_t Padded(std::uint64_t size) { return size + (size & 1); }

// Collects little-endian fields and passes them on in pieces.
class ChunkWriter {
 public:
  explicit ChunkWriter(const ByteSink& sink) : sink_(sink) {}

  void Id(const char (&id)[5]) { buffer_.append(id, 4); }
  void U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) buffer_ += static_cast<char>(value >> shift);
  }
  void Text(const std::string& text) { buffer_.append(text.c_str(), text.size() + 1); }
  void PadTo(std::uint64_t size) {
    if (size & 1) buffer_ += '\0';
  }
  bool Flush(bool whenFull) {
    if ((whenFull && buffer_.size() < kFlushSize) || buffer_.empty()) return ok_;
    ok_ = ok_ && sink_(buffer_);
    buffer_.clear();
    return ok_;
  }

 private:
  const ByteSink& sink_;
  std::string buffer_;
  bool ok_ = true;
};

}  // namespace

MarkerPlan PlanMarkers(MarkSource& marks, std::int64_t frameCount) {
  MarkerPlan plan;
  std::uint64_t listBody = 4;
  std::int64_t last = 0;
  marks.Restart();
  for (BeatMark mark; marks.Next(mark);) {
    plan.outOfOrder = plan.outOfOrder || mark.frame < last;
    last = mark.frame;
    if (!HasMarker(mark)) continue;
    if (mark.frame >= frameCount || plan.outOfOrder) break;  // the rest lie past the end too
    ++plan.count;
    listBody += 8 + Padded(LabelSize(mark));
    if (kCuePointSize * static_cast<std::uint64_t>(plan.count) + listBody > kMaxWavBytes) break;
  }
  plan.leftOut = std::max<std::int64_t>(0, marks.MarkerCount() - plan.count);
  if (plan.count > 0) {
    plan.bytes = 8 + 4 + kCuePointSize * static_cast<std::uint64_t>(plan.count) + 8 + listBody;
  }
  return plan;
}

bool WriteMarkerChunks(MarkSource& marks, std::int64_t frameCount, const ByteSink& sink) {
  MarkerPlan plan = PlanMarkers(marks, frameCount);
  if (plan.count == 0) return true;
  ChunkWriter out(sink);
  auto count = static_cast<std::uint32_t>(plan.count);
  out.Id("cue ");
  out.U32(static_cast<std::uint32_t>(4 + kCuePointSize * count));
  out.U32(count);
  std::uint32_t id = 0;
  marks.Restart();
  for (BeatMark mark; id < count && marks.Next(mark);) {
    if (!IsMarker(mark, frameCount)) continue;
    auto frame = static_cast<std::uint32_t>(mark.frame);
    out.U32(++id);
    out.U32(frame);  // position
    out.Id("data");
    out.U32(0);  // chunk start
    out.U32(0);  // block start
    out.U32(frame);  // sample offset
    if (!out.Flush(true)) return false;
  }
  out.Id("LIST");
  out.U32(static_cast<std::uint32_t>(plan.bytes - (8 + 4 + kCuePointSize * count) - 8));
  out.Id("adtl");
  id = 0;
  marks.Restart();
  for (BeatMark mark; id < count && marks.Next(mark);) {
    if (!IsMarker(mark, frameCount)) continue;
    std::uint32_t size = LabelSize(mark);
    out.Id("labl");
    out.U32(size);
    out.U32(++id);
    out.Text(Label(mark));
    out.PadTo(size);
    if (!out.Flush(true)) return false;
  }
  return out.Flush(false);
}

}  // namespace beatmarks
