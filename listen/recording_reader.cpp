#include "listen/recording_reader.h"

#include <algorithm>

#ifdef BEATMARKS_HAVE_SNDFILE
#include <sndfile.h>
#include <sys/stat.h>
#endif

namespace beatmarks {
namespace {

// Interleaved samples read at once, whatever the channel count.
constexpr std::size_t kBlockSamples = 1 << 16;

}  // namespace

#ifdef BEATMARKS_HAVE_SNDFILE

struct RecordingReader::File {
  SNDFILE* handle = nullptr;
  ~File() {
    if (handle) sf_close(handle);
  }
};

RecordingReader::RecordingReader() = default;
RecordingReader::~RecordingReader() = default;

bool RecordingReader::Open(const std::string& path, std::string& error) {
  file_.reset();
  path_ = path;
  // A folder is said to be one, as every other input says it.
  struct stat about{};
  if (::stat(path.c_str(), &about) == 0 && S_ISDIR(about.st_mode)) {
    error = "cannot read " + path + " as audio (is a folder)";
    return false;
  }
  SF_INFO info{};
  SNDFILE* handle = sf_open(path.c_str(), SFM_READ, &info);
  if (!handle) {
    std::string reason = sf_strerror(nullptr);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n')) reason.pop_back();
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    error = "cannot read " + path + " as audio (" + reason + ")";
    return false;
  }
  file_ = std::make_unique<File>();
  file_->handle = handle;
  if (info.frames <= 0 || info.channels <= 0) {
    error = path + " holds no samples";
    return false;
  }
  if (info.samplerate <= 0) {
    error = path + " has no sample rate";
    return false;
  }
  if (!info.seekable) {
    error = path + " cannot be read in stretches (not seekable)";
    return false;
  }
  rate_ = static_cast<std::uint32_t>(info.samplerate);
  frames_ = info.frames;
  channels_ = info.channels;
  interleaved_.resize(std::max<std::size_t>(kBlockSamples, static_cast<std::size_t>(channels_)));
  return true;
}

bool RecordingReader::ReadMono(std::int64_t start, std::int64_t count, std::vector<float>& mono,
                         std::string& error) {
  mono.assign(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), 0.0f);
  if (!file_) {
    error = "no recording open";
    return false;
  }
  const std::int64_t from = std::clamp<std::int64_t>(start, 0, frames_);
  const std::int64_t to = std::clamp<std::int64_t>(start + count, 0, frames_);
  if (from >= to) return true;
  if (sf_seek(file_->handle, from, SEEK_SET) != from) {
    error = "cannot seek in " + path_;
    return false;
  }
  const auto channels = static_cast<std::size_t>(channels_);
  const auto blockFrames = static_cast<std::int64_t>(interleaved_.size() / channels);
  const float scale = 1.0f / static_cast<float>(channels_);
  float* out = mono.data() + (from - start);
  for (std::int64_t at = from; at < to;) {
    const std::int64_t want = std::min(blockFrames, to - at);
    const sf_count_t got = sf_readf_float(file_->handle, interleaved_.data(), want);
    if (got <= 0) {
      error = "cannot read " + path_ + " past frame " + std::to_string(at);
      return false;
    }
    for (sf_count_t f = 0; f < got; ++f) {
      const float* frame = interleaved_.data() + static_cast<std::size_t>(f) * channels;
      float sum = 0.0f;
      for (std::size_t c = 0; c < channels; ++c) sum += frame[c];
      *out++ = channels == 1 ? sum : sum * scale;
    }
    at += got;
  }
  return true;
}

#else

struct RecordingReader::File {};

RecordingReader::RecordingReader() = default;
RecordingReader::~RecordingReader() = default;

bool RecordingReader::Open(const std::string&, std::string& error) {
  error = kNoAudioSupport;
  return false;
}

bool RecordingReader::ReadMono(std::int64_t, std::int64_t count, std::vector<float>& mono, std::string& error) {
  mono.assign(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), 0.0f);
  error = kNoAudioSupport;
  return false;
}

#endif

}  // namespace beatmarks
