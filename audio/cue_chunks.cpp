#include "audio/cue_chunks.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

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

using Labels = std::vector<std::pair<std::uint32_t, std::string>>;

const std::uint8_t* BytesAt(const std::string& body, std::uint64_t at) {
  return reinterpret_cast<const std::uint8_t*>(body.data()) + at;
}

// The labl entries of a LIST/adtl body: cue id and text.
void ReadLabels(const std::string& body, Labels& labels) {
  for (std::uint64_t at = 4; at + 8 <= body.size();) {
    const std::uint32_t size = Le32(BytesAt(body, at + 4));
    if (size > body.size() - at - 8) break;
    if (body.compare(at, 4, "labl") == 0 && size >= 4) {
      const char* text = body.data() + at + 12;
      labels.emplace_back(Le32(BytesAt(body, at + 8)), std::string(text, strnlen(text, size - 4)));
    }
    at += 8 + std::uint64_t{size} + (size & 1);
  }
}

// The points of a `cue ` body: id and sample offset of those inside the audio.
bool ReadCues(const std::string& body, std::int64_t frameCount, CuePointsRead& read, std::string& error) {
  const std::uint64_t count = body.size() >= 4 ? Le32(BytesAt(body, 0)) : 0;
  if (body.size() < 4 || (body.size() - 4) / kCuePointSize < count) {
    error = "the cue chunk is too short for its " + std::to_string(count) + " cue points";
    return false;
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint8_t* p = BytesAt(body, 4 + kCuePointSize * i);
    const std::uint32_t sample = Le32(p + 20);  // dwSampleOffset
    if (std::int64_t{sample} >= frameCount) {
      ++read.pastEnd;
    } else {
      read.points.push_back({Le32(p), sample, {}});  // dwName
    }
  }
  return true;
}

}  // namespace

bool ReadCuePoints(const ByteSource& source, const WavLayout& layout, CuePointsRead& read,
                   std::string& error) {
  read = CuePointsRead{};
  Labels labels;
  ChunkWalker walker(source);
  std::string body;
  for (RiffChunk chunk; walker.Next(chunk);) {
    if (!IsMarkerChunk(chunk)) continue;
    body.resize(chunk.size);
    if (!source.Read(chunk.BodyOffset(), body.data(), body.size())) {
      error = "the WAV file could not be read";
      return false;
    }
    if (chunk.id != MakeFourCc("cue ")) {
      ReadLabels(body, labels);
    } else if (!ReadCues(body, layout.frameCount, read, error)) {
      return false;
    }
  }
  std::sort(labels.begin(), labels.end());
  std::stable_sort(read.points.begin(), read.points.end(),
                   [](const CuePoint& a, const CuePoint& b) { return a.sample < b.sample; });
  for (CuePoint& c : read.points) {
    const auto label = std::lower_bound(labels.begin(), labels.end(), std::make_pair(c.id, std::string()));
    if (label != labels.end() && label->first == c.id) c.name = label->second;
  }
  return true;
}

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
