#pragma once

// A recording read for analysis: any file libsndfile opens, all channels
// mixed down to one, read a stretch at a time by seeking, so that memory
// stays flat for any length.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace beatmarks {

// The message of every call in a build without libsndfile.
inline constexpr const char* kNoAudioSupport = "this build has no audio support (libsndfile)";

class RecordingReader {
 public:
  RecordingReader();
  ~RecordingReader();
  RecordingReader(const RecordingReader&) = delete;
  RecordingReader& operator=(const RecordingReader&) = delete;

  // Opens `path`; false with one line in `error` for a file that is not
  // audio, holds no samples or cannot be read in stretches.
  bool Open(const std::string& path, std::string& error);

  std::uint32_t Rate() const { return rate_; }
  std::int64_t Frames() const { return frames_; }
  int Channels() const { return channels_; }

  // Frames [start, start + count) mixed down (the mean of the channels) into
  // `mono`, resized to `count`. Frames before 0 or past the end read as
  // silence. False with `error` where the file fails to read.
  bool ReadMono(std::int64_t start, std::int64_t count, std::vector<float>& mono, std::string& error);

 private:
  struct File;
  std::unique_ptr<File> file_;
  std::string path_;
  std::uint32_t rate_ = 0;
  std::int64_t frames_ = 0;
  int channels_ = 0;
  bool wholeNumbers_ = false;  // 16- or 24-bit PCM of one or two channels, read as integers
  std::vector<float> interleaved_;
  std::vector<int> integers_;
  int storedBytes_ = 0;  // bytes a sample where the file's bytes are read as they are stored
  std::vector<unsigned char> stored_;

  bool ReadFloats(std::int64_t at, std::int64_t to, float* out, std::string& error);
  bool ReadIntegers(std::int64_t at, std::int64_t to, float* out, std::string& error);
  std::int64_t ReadStored(std::int64_t frames, float* out);
};

}  // namespace beatmarks
