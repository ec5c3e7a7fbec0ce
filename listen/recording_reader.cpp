#include "listen/recording_reader.h"

#include "listen/mix_down.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

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
    error = path + ": is a folder";
    return false;
  }
  SF_INFO info{};
  SNDFILE* handle = sf_open(path.c_str(), SFM_READ, &info);
  if (!handle) {
    std::string reason = sf_strerror(nullptr);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n')) reason.pop_back();
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    constexpr std::string_view kSystem = "System error : ";
    if (reason.rfind(kSystem, 0) == 0) {
      error = path + ": " + reason.substr(kSystem.size());
    } else {
      error = path + ": cannot read it as audio (" + reason + ")";
    }
    return false;
  }
  file_ = std::make_unique<File>();
  file_->handle = handle;
  if (info.frames <= 0 || info.channels <= 0) {
    error = path + ": holds no samples";
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
  // Samples of at most 24 bits and a mean of at most two are whole numbers
  // a float holds, or rounds once: read so, the mix is the one the floats
  // give, for less work.
  const int sub = info.format & SF_FORMAT_SUBMASK;
  wholeNumbers_ = (sub == SF_FORMAT_PCM_16 || sub == SF_FORMAT_PCM_24) && channels_ <= 2;
  const auto block = std::max<std::size_t>(kBlockSamples, static_cast<std::size_t>(channels_));
  // PCM stored as it is in memory (WAV) is read as its bytes, the cheapest
  // way there is; compressed files (FLAC) are not.
  const int type = info.format & SF_FORMAT_TYPEMASK;
  const bool plain = type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX || type == SF_FORMAT_W64 || type == SF_FORMAT_RF64;
  const bool asStored = plain && std::endian::native == std::endian::little &&
                        sf_command(handle, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_FALSE;
  storedBytes_ = wholeNumbers_ && asStored ? (sub == SF_FORMAT_PCM_16 ? 2 : 3) : 0;
  if (wholeNumbers_) {
    integers_.resize(block);
    stored_.resize(block * 3 + kMixDownPadding);
  } else {
    interleaved_.resize(block);
  }
  return true;
}

bool RecordingReader::ReadMono(std::int64_t start, std::int64_t count, std::vector<float>& mono,
                         std::string& error) {
  mono.resize(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)));
  if (!file_) {
    std::fill(mono.begin(), mono.end(), 0.0f);
    error = "no recording open";
    return false;
  }
  const std::int64_t from = std::clamp<std::int64_t>(start, 0, frames_);
  const std::int64_t to = std::clamp<std::int64_t>(start + count, 0, frames_);
  // Silence outside the file; what lies inside is read over.
  std::fill(mono.begin(), mono.begin() + std::clamp<std::int64_t>(from - start, 0, count), 0.0f);
  std::fill(mono.begin() + std::clamp<std::int64_t>(to - start, 0, count), mono.end(), 0.0f);
  if (from >= to) return true;
  if (sf_seek(file_->handle, from, SEEK_SET) != from) {
    error = "cannot seek in " + path_;
    return false;
  }
  float* out = mono.data() + (from - start);
  return wholeNumbers_ ? ReadIntegers(from, to, out, error) : ReadFloats(from, to, out, error);
}

bool RecordingReader::ReadFloats(std::int64_t at, std::int64_t to, float* out, std::string& error) {
  const auto channels = static_cast<std::size_t>(channels_);
  const auto blockFrames = static_cast<std::int64_t>(interleaved_.size() / channels);
  const float scale = 1.0f / static_cast<float>(channels_);
  while (at < to) {
    const std::int64_t want = std::min(blockFrames, to - at);
    const sf_count_t got = sf_readf_float(file_->handle, interleaved_.data(), want);
    if (got <= 0) {
      error = path_ + ": cannot read it past frame " + std::to_string(at);
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

// Up to `frames` frames as the file stores them, mixed down into `out`;
// the frames read.
std::int64_t RecordingReader::ReadStored(std::int64_t frames, float* out) {
  const int bytes = storedBytes_;
  const auto width = static_cast<sf_count_t>(bytes) * channels_;
  const sf_count_t got = sf_read_raw(file_->handle, stored_.data(), frames * width) / width;
  MixDown(stored_.data(), bytes, channels_, got, out);
  return got;
}

// Integers come scaled to 32 bits: a sample over 2^31 is the float the
// file's value gives, and the sum of two, rounded once, their float sum.
bool RecordingReader::ReadIntegers(std::int64_t at, std::int64_t to, float* out, std::string& error) {
  const bool stereo = channels_ == 2;
  const auto blockFrames = static_cast<std::int64_t>(integers_.size() / (stereo ? 2 : 1));
  const float scale = stereo ? 0x1p-32f : 0x1p-31f;
  while (at < to) {
    const std::int64_t want = std::min(blockFrames, to - at);
    const sf_count_t got = storedBytes_ > 0 ? ReadStored(want, out) : sf_readf_int(file_->handle, integers_.data(), want);
    if (got <= 0) {
      error = path_ + ": cannot read it past frame " + std::to_string(at);
      return false;
    }
    if (storedBytes_ > 0) {
      out += got, at += got;
      continue;
    }
    const int* in = integers_.data();
    for (sf_count_t f = 0; f < got; ++f) {
      const std::int64_t sum = stereo ? std::int64_t{in[2 * f]} + in[2 * f + 1] : in[f];
      *out++ = static_cast<float>(sum) * scale;
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
