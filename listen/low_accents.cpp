#include "listen/low_accents.h"

#include <cmath>
#include <numbers>

#include "listen/recording_reader.h"

namespace beatmarks {
namespace {

constexpr double kCornerHz = 150;
constexpr double kSettleSeconds = 0.02;  // the filter runs this long before the beat
constexpr double kSpanSeconds = 0.06;

// Two one-pole low passes in a row over `mono`; the energy of what comes
// out after the first `settle` samples.
double LowEnergy(const std::vector<float>& mono, std::size_t settle, std::uint32_t rate) {
  const double a = std::exp(-2 * std::numbers::pi * kCornerHz / rate);
  double y1 = 0, y2 = 0, energy = 0;
  for (std::size_t i = 0; i < mono.size(); ++i) {
    y1 = (1 - a) * mono[i] + a * y1;
    y2 = (1 - a) * y1 + a * y2;
    if (i >= settle) energy += y2 * y2;
  }
  return energy / static_cast<double>(mono.size() - settle);
}

}  // namespace

bool LowAccents(const std::string& path, const std::vector<std::int64_t>& samples,
                std::vector<float>& db, std::string& error) {
  RecordingReader recording;
  if (!recording.Open(path, error)) return false;
  const std::uint32_t rate = recording.Rate();
  const auto settle = static_cast<std::int64_t>(kSettleSeconds * rate);
  const auto span = static_cast<std::int64_t>(kSpanSeconds * rate) + 1;
  std::vector<float> mono;
  db.clear();
  for (std::int64_t sample : samples) {
    if (!recording.ReadMono(sample - settle, settle + span, mono, error)) return false;
    const double energy = LowEnergy(mono, static_cast<std::size_t>(settle), rate);
    db.push_back(static_cast<float>(10 * std::log10(energy + 1e-20)));
  }
  return true;
}

}  // namespace beatmarks
