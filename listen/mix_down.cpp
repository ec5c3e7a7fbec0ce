#include "listen/mix_down.h"

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define BEATMARKS_MIX_SSSE3 1
#endif

namespace beatmarks {
namespace {

// A sample of `bytes` bytes as stored, scaled to 32 bits as sf_readf_int
// gives it; the byte after it is read and shifted out.
std::int32_t StoredSample(const unsigned char* at, int bytes) {
  std::uint32_t word = 0;
  std::memcpy(&word, at, sizeof word);
  return static_cast<std::int32_t>(word << (32 - 8 * bytes));
}

// Both samples of a frame are whole numbers a float holds exactly, so
// their float sum rounds once, as their exact sum would: the mix the
// integers give.
template <int Bytes, int Channels>
void MixFrames(const unsigned char* b, std::int64_t frames, float* out) {
  for (std::int64_t f = 0; f < frames; ++f, b += Bytes * Channels) {
    if constexpr (Channels == 1) {
      out[f] = static_cast<float>(StoredSample(b, Bytes)) * 0x1p-31f;
    } else {
      const float sum = static_cast<float>(StoredSample(b, Bytes)) + static_cast<float>(StoredSample(b + Bytes, Bytes));
      out[f] = sum * 0x1p-32f;
    }
  }
}

#ifdef BEATMARKS_MIX_SSSE3

// 24-bit samples four at a time: one byte shuffle puts each in the top
// three bytes of a 32-bit lane, as StoredSample does. Returns the frames
// done; the rest are left to MixFrames.
__attribute__((target("ssse3"))) std::int64_t MixFrames24(const unsigned char* b, int channels,
                                                          std::int64_t frames, float* out) {
  const __m128i spread = _mm_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  std::int64_t f = 0;
  if (channels == 1) {
    const __m128 scale = _mm_set1_ps(0x1p-31f);
    for (; f + 4 <= frames; f += 4) {
      const __m128i words = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 3 * f)), spread);
      _mm_storeu_ps(out + f, _mm_mul_ps(_mm_cvtepi32_ps(words), scale));
    }
    return f;
  }
  const __m128 scale = _mm_set1_ps(0x1p-32f);
  for (; f + 4 <= frames; f += 4) {
    const unsigned char* at = b + 6 * f;
    const __m128 first = _mm_cvtepi32_ps(_mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), spread));
    const __m128 second =
        _mm_cvtepi32_ps(_mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 12)), spread));
    const __m128 left = _mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 right = _mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1));
    _mm_storeu_ps(out + f, _mm_mul_ps(_mm_add_ps(left, right), scale));
  }
  return f;
}

#endif

}  // namespace

void MixDown(const unsigned char* stored, int bytes, int channels, std::int64_t frames, float* out) {
  if (bytes == 2) {
    channels == 1 ? MixFrames<2, 1>(stored, frames, out) : MixFrames<2, 2>(stored, frames, out);
    return;
  }
  std::int64_t done = 0;
#ifdef BEATMARKS_MIX_SSSE3
  static const bool shuffles = __builtin_cpu_supports("ssse3");
  if (shuffles) done = MixFrames24(stored, channels, frames, out);
#endif
  const unsigned char* rest = stored + 3 * channels * done;
  channels == 1 ? MixFrames<3, 1>(rest, frames - done, out + done) : MixFrames<3, 2>(rest, frames - done, out + done);
}

}  // namespace beatmarks
