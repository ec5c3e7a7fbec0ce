// Any file read as a WAV recording: the chunk list is walked and checked,
// its cue points are read back, and an accepted file is copied with new markers.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/cue_chunks.h"
#include "audio/riff_chunks.h"
#include "audio/wav_markers.h"
#include "harness.h"

namespace {

using namespace beatmarks;

// Every chunk the walker hands out lies inside the file.
void WalkChunks(const ByteSource& source) {
  ChunkWalker walker(source);
  RiffChunk chunk;
  while (walker.Next(chunk)) {
    if (chunk.BodyOffset() + chunk.size > source.Size()) std::abort();
  }
}

// Cue points read back lie inside the audio, in order.
void ReadCues(const ByteSource& source, const WavLayout& layout) {
  CuePointsRead read;
  std::string error;
  if (!ReadCuePoints(source, layout, read, error)) return;
  for (std::size_t i = 0; i < read.points.size(); ++i) {
    if (read.points[i].sample >= layout.frameCount) std::abort();
    if (i > 0 && read.points[i].sample < read.points[i - 1].sample) std::abort();
  }
}

void CopyWithMarkers(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen("take.wav", "wb");
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  Recording recording("take.wav");
  if (!recording.Ok()) std::abort();  // the bytes were accepted in memory
  std::int64_t frames = recording.FrameCount();
  std::vector<BeatMark> marks{{0, 1, 1, MarkKind::kDownbeat},
                              {frames / 2, 1, 2, MarkKind::kBeat},
                              {frames / 2, 1, 2, MarkKind::kDivision},
                              {frames, 2, 1, MarkKind::kDownbeat}};
  static int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  SpanMarks source(marks);
  AudioOutcome outcome = recording.CopyWithMarkers(sink, "/dev/null", source);
  std::int64_t pastEnd = 0;
  for (const BeatMark& mark : marks) pastEnd += HasMarker(mark) && mark.frame >= frames;
  if (outcome.ok && outcome.markersLeftOut != pastEnd) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::SetUpOnce();
  MemorySource source({data, size});
  WalkChunks(source);
  WavLayout layout;
  std::string error;
  if (!ReadWavLayout(source, layout, error)) {
    if (error.empty() || error.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  if (layout.data.BodyOffset() + layout.data.size > size ||
      static_cast<std::uint64_t>(layout.frameCount) * layout.blockAlign > layout.data.size) {
    std::abort();
  }
  ReadCues(source, layout);
  CopyWithMarkers(data, size);
  return 0;
}
