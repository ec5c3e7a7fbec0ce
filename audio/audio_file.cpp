#include "audio/audio_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "audio/click_synth.h"
#include "audio/cue_chunks.h"
#include "audio/wav_markers.h"
#include "files/output_file.h"

#ifdef BEATMARKS_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace beatmarks {
namespace {

// Everything about the request that can be refused before writing.
std::string CheckRequest(const char* name, const ClickTrackSettings& settings) {
  if (!AudioSupported()) return "Error: This build has no audio support!";
  if (settings.sampleRate < 1) return "Error: Sample rate must be at least 1!";
  if (settings.frameCount < 0) return "Error: Track length must not be negative!";
  if (IsFlacName(name) && settings.format != SampleFormat::kPcm16 &&
      settings.format != SampleFormat::kPcm24) {
    return "Error: FLAC holds 16 or 24-bit samples only!";
  }
  return {};
}

#ifdef BEATMARKS_HAVE_SNDFILE

constexpr std::size_t kBlockFrames = 8192;

int BitsOf(SampleFormat format) {
  switch (format) {
    case SampleFormat::kPcm16: return 16;
    case SampleFormat::kPcm32: return 32;
    default: return 24;  // float holds 24 bits exactly
  }
}

int SndfileFormat(bool flac, SampleFormat format) {
  int container = flac ? SF_FORMAT_FLAC : SF_FORMAT_WAV;
  switch (format) {
    case SampleFormat::kPcm16: return container | SF_FORMAT_PCM_16;
    case SampleFormat::kPcm24: return container | SF_FORMAT_PCM_24;
    case SampleFormat::kPcm32: return container | SF_FORMAT_PCM_32;
    case SampleFormat::kFloat: return container | SF_FORMAT_FLOAT;
  }
  return container | SF_FORMAT_PCM_24;
}

// Why libsndfile would not open the file, as one line: "Error: Could not
// write file NAME (flac does not support this sample rate)!".
std::string OpenError(const char* name) {
  std::string reason = sf_strerror(nullptr);
  if (reason.rfind("Error : ", 0) == 0) reason.erase(0, 8);
  while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n')) reason.pop_back();
  std::replace(reason.begin(), reason.end(), '\n', ' ');
  return std::string("Error: Could not write file ") + name + " (" + reason + ")!";
}

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

std::uint64_t BytesOf(SampleFormat format) {
  return format == SampleFormat::kPcm16 ? 2 : format == SampleFormat::kPcm24 ? 3 : 4;
}

// No WAV file of these frames and markers can be smaller: the samples, and
// for each marker its cue point and its shortest label ("1.1").
std::uint64_t LeastWavSize(const ClickTrackSettings& settings, MarkSource& marks) {
  constexpr std::uint64_t kLeastMarkerBytes = 24 + 8 + 4 + 4;
  const auto frames = static_cast<std::uint64_t>(settings.frameCount);
  const auto markers = static_cast<std::uint64_t>(marks.MarkerCount());
  if (frames > kMaxWavBytes || markers > kMaxWavBytes) return kMaxWavBytes + 1;
  return frames * BytesOf(settings.format) + markers * kLeastMarkerBytes;
}

// The size the finished WAV file will have, from the header already written.
std::uint64_t FinalWavSize(int fd, const ClickTrackSettings& settings, const MarkerPlan& plan) {
  if (static_cast<std::uint64_t>(settings.frameCount) > kMaxWavBytes) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  std::uint64_t data = static_cast<std::uint64_t>(settings.frameCount) * BytesOf(settings.format);
  auto header = static_cast<std::uint64_t>(std::max<off_t>(0, ::lseek(fd, 0, SEEK_END)));
  return header + data + (data & 1) + plan.bytes;
}

// The samples in blocks; the marks are taken as the blocks reach them and
// let go of once they have sounded. False when a write failed or the marks
// were out of order (`outOfOrder` then).
bool WriteSamples(SNDFILE* file, const ClickTrackSettings& settings, MarkSource& marks,
                  bool& outOfOrder) {
  ClickSynth synth(settings.sampleRate, BitsOf(settings.format));
  MarkFeed feed(marks);
  std::vector<std::int32_t> block(kBlockFrames);
  for (std::int64_t frame = 0; frame < settings.frameCount;) {
    auto count = static_cast<std::size_t>(std::min<std::int64_t>(
        settings.frameCount - frame, static_cast<std::int64_t>(kBlockFrames)));
    synth.Render(feed.Through(frame + static_cast<std::int64_t>(count) - 1), frame,
                 std::span(block).first(count));
    feed.Drop(synth.Sounding());
    synth.Rebase(synth.Sounding());
    if (feed.OutOfOrder()) {
      outOfOrder = true;
      return false;
    }
    if (sf_write_int(file, block.data(), static_cast<sf_count_t>(count)) !=
        static_cast<sf_count_t>(count)) {
      return false;
    }
    frame += static_cast<std::int64_t>(count);
  }
  return true;
}

#endif

}  // namespace

bool IsFlacName(const char* name) {
  std::size_t length = std::strlen(name);
  return length >= 5 && std::strcmp(name + length - 5, ".flac") == 0;
}

#ifdef BEATMARKS_HAVE_SNDFILE

bool AudioSupported() { return true; }

AudioOutcome WriteClickTrack(int fd, const char* name, const ClickTrackSettings& settings,
                             MarkSource& marks) {
  if (std::string refused = CheckRequest(name, settings); !refused.empty()) {
    return AudioFailure(refused);
  }
  bool flac = IsFlacName(name);
  SF_INFO info{};
  info.samplerate = settings.sampleRate;
  info.channels = 1;
  info.format = SndfileFormat(flac, settings.format);
  SndfileHandle file(sf_open_fd(fd, SFM_WRITE, &info, 0));
  if (!file) return AudioFailure(OpenError(name));
  // Full scale is 2^31 in the integer samples, 1.0 in float files.
  sf_command(file.get(), SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
  // Clicks and silence pack well at the fastest setting.
  double fastest = 0.0;
  if (flac) sf_command(file.get(), SFC_SET_COMPRESSION_LEVEL, &fastest, sizeof fastest);
  if (!flac) {
    // Everything about the size is known before a sample is written: first
    // from the counts alone (a map of billions of beats answers at once),
    // then exactly.
    if (LeastWavSize(settings, marks) > kMaxWavBytes) return AudioFailure(kTooLargeError);
    MarkerPlan plan = PlanMarkers(marks, settings.frameCount);
    if (plan.outOfOrder) return AudioFailure(kOrderError);
    if (FinalWavSize(fd, settings, plan) > kMaxWavBytes) return AudioFailure(kTooLargeError);
  }
  bool outOfOrder = false;
  if (!WriteSamples(file.get(), settings, marks, outOfOrder)) {
    return outOfOrder ? AudioFailure(kOrderError) : WriteFailure(name, errno);
  }
  if (sf_close(file.release()) != 0) return WriteFailure(name);
  if (flac) {
    AudioOutcome outcome;
    outcome.ok = true;
    outcome.markersNotHeld = marks.MarkerCount();
    return outcome;
  }
  return AppendMarkers(fd, marks, settings.frameCount);
}

#else

bool AudioSupported() { return false; }

AudioOutcome WriteClickTrack(int, const char* name, const ClickTrackSettings& settings,
                             MarkSource&) {
  return AudioFailure(CheckRequest(name, settings));
}

#endif

AudioOutcome SaveClickTrack(const char* name, const ClickTrackSettings& settings,
                            MarkSource& marks) {
  if (std::string refused = CheckRequest(name, settings); !refused.empty()) {
    return AudioFailure(refused);
  }
  OutputFile out;
  if (!out.Open(name, WriteMode::kReplace) || out.Scratch() < 0) {
    return WriteFailure(name, out.Error());
  }
  AudioOutcome outcome = WriteClickTrack(out.Scratch(), name, settings, marks);
  if (outcome.ok && !out.Finish()) return WriteFailure(name, out.Error());
  return outcome;
}

}  // namespace beatmarks
