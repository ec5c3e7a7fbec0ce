#include "listen/low_residual.h"

#include <array>
#include <cmath>
#include <numbers>

namespace beatmarks {
namespace {

constexpr std::size_t kOrder = 6;
constexpr std::size_t kFitted = 40;  // values the predictor is fitted on
constexpr double kSilence = 1e-14;
constexpr std::size_t kRefit = 2;  // hops a predictor serves

}  // namespace

std::size_t LowResidual::History() { return kFitted + kRefit - 1; }

namespace {

// The Hann-tapered autocorrelation of the kFitted values before h, all lags
// in one pass: each lag's sum is still taken in order of i, so the values
// are those of one sum a lag, with the lags' additions independent.
void TaperedCorrelation(const double* taper, const double* values, std::array<double, kOrder + 1>& correlation) {
  std::array<double, kFitted> tapered;
  for (std::size_t i = 0; i < kFitted; ++i) tapered[i] = taper[i] * values[i];
  correlation.fill(0.0);
  for (std::size_t i = 0; i < kOrder; ++i) {
    for (std::size_t lag = 0; lag <= i; ++lag) correlation[lag] += tapered[i] * tapered[i - lag];
  }
  for (std::size_t i = kOrder; i < kFitted; ++i) {
    for (std::size_t lag = 0; lag <= kOrder; ++lag) correlation[lag] += tapered[i] * tapered[i - lag];
  }
}

// Levinson's recursion on the correlation; A(z) = 1 + sum coefficients[j - 1]
// z^-j. Returns the order reached.
std::size_t Levinson(std::array<double, kOrder + 1> correlation, std::array<double, kOrder>& coefficients) {
  correlation[0] *= 1 + 1e-9;
  std::array<double, kOrder> previous{};
  std::size_t order = 0;
  double error = correlation[0];
  for (std::size_t m = 1; m <= kOrder; ++m) {
    double acc = correlation[m];
    for (std::size_t j = 1; j < m; ++j) acc += coefficients[j - 1] * correlation[m - j];
    const double k = -acc / error;
    previous = coefficients;
    coefficients[m - 1] = k;
    order = m;
    for (std::size_t j = 1; j < m; ++j) coefficients[j - 1] = previous[j - 1] + k * previous[m - j - 1];
    error *= 1 - k * k;
    if (!(error > kSilence)) break;
  }
  return order;
}

}  // namespace

void LowResidual::Compute(const std::vector<double>& means, std::int64_t firstHop, std::vector<double>& residual) {
  residual.assign(means.size(), 0.0);
  if (taper_.empty()) {
    for (std::size_t i = 0; i < kFitted; ++i) {
      taper_.push_back(0.5 - 0.5 * std::cos(2 * std::numbers::pi * (static_cast<double>(i) + 0.5) / kFitted));
    }
  }
  std::array<double, kOrder + 1> correlation;
  std::array<double, kOrder> coefficients;
  std::size_t order = 0;
  const auto refit = static_cast<std::int64_t>(kRefit);
  for (std::size_t h = History(); h < means.size(); ++h) {
    // Fitted on a grid of hops from the file's start, so that a stretch
    // analysed alone gives what the whole file would, and used up to the
    // next fit: a held sound changes little in 1 ms.
    const auto phase = static_cast<std::size_t>(((firstHop + static_cast<std::int64_t>(h)) % refit + refit) % refit);
    if (phase == 0 || h == History()) {
      // Positive definite, so the recursion stays stable.
      TaperedCorrelation(taper_.data(), means.data() + (h - phase - kFitted), correlation);
      order = correlation[0] > kSilence ? Levinson(correlation, coefficients) : 0;
    }
    double predicted = 0;
    for (std::size_t j = 1; j <= order; ++j) predicted -= coefficients[j - 1] * means[h - j];
    residual[h] = means[h] - predicted;
  }
}

}  // namespace beatmarks
