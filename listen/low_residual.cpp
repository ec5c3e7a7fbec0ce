#include "listen/low_residual.h"

#include <algorithm>
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

constexpr std::size_t kBatch = 16;  // fits whose correlations are summed side by side

using Correlations = std::array<std::array<double, kBatch>, kOrder + 1>;

// The Hann-tapered autocorrelations of `count` windows of kFitted values,
// the w-th from values + w * kRefit. Each lag's sum is taken in order of i,
// as for one window alone; the windows are lanes side by side, which the
// compiler turns into vector arithmetic.
void TaperedCorrelations(const double* taper, const double* values, std::size_t count, Correlations& sums) {
  std::array<std::array<double, kBatch>, kFitted> tapered{};
  for (std::size_t i = 0; i < kFitted; ++i) {
    for (std::size_t w = 0; w < count; ++w) tapered[i][w] = taper[i] * values[w * kRefit + i];
  }
  for (auto& lanes : sums) lanes.fill(0.0);
  for (std::size_t i = 0; i < kFitted; ++i) {
    for (std::size_t lag = 0; lag <= std::min(i, kOrder); ++lag) {
      for (std::size_t w = 0; w < kBatch; ++w) sums[lag][w] += tapered[i][w] * tapered[i - lag][w];
    }
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

// The prediction of hops [from, to) by `order` coefficients.
void Predict(const std::vector<double>& means, const std::array<double, kOrder>& coefficients, std::size_t order,
             std::size_t from, std::size_t to, std::vector<double>& residual) {
  for (std::size_t h = from; h < to; ++h) {
    double predicted = 0;
    for (std::size_t j = 1; j <= order; ++j) predicted -= coefficients[j - 1] * means[h - j];
    residual[h] = means[h] - predicted;
  }
}

}  // namespace

void LowResidual::Compute(const std::vector<double>& means, std::int64_t firstHop, std::vector<double>& residual) {
  residual.assign(means.size(), 0.0);
  if (taper_.empty()) {
    for (std::size_t i = 0; i < kFitted; ++i) {
      taper_.push_back(0.5 - 0.5 * std::cos(2 * std::numbers::pi * (static_cast<double>(i) + 0.5) / kFitted));
    }
  }
  if (means.size() <= History()) return;
  // Fitted on a grid of hops from the file's start, so that a stretch
  // analysed alone gives what the whole file would, and used up to the
  // next fit: a held sound changes little in 1 ms. Fit k ends its window
  // at hop fit0 + k * kRefit; the first serves from History().
  const auto refit = static_cast<std::int64_t>(kRefit);
  const auto phase = static_cast<std::size_t>(((firstHop + static_cast<std::int64_t>(History())) % refit + refit) % refit);
  const std::size_t fit0 = History() - phase;
  const std::size_t fits = (means.size() - fit0 + kRefit - 1) / kRefit;
  Correlations sums;
  std::array<double, kOrder + 1> correlation;
  std::array<double, kOrder> coefficients;
  for (std::size_t k0 = 0; k0 < fits; k0 += kBatch) {
    const std::size_t count = std::min(kBatch, fits - k0);
    TaperedCorrelations(taper_.data(), means.data() + (fit0 + k0 * kRefit - kFitted), count, sums);
    for (std::size_t w = 0; w < count; ++w) {
      for (std::size_t lag = 0; lag <= kOrder; ++lag) correlation[lag] = sums[lag][w];
      // Positive definite, so the recursion stays stable.
      const std::size_t order = correlation[0] > kSilence ? Levinson(correlation, coefficients) : 0;
      const std::size_t end = fit0 + (k0 + w) * kRefit;
      Predict(means, coefficients, order, std::max(History(), end), std::min(means.size(), end + kRefit), residual);
    }
  }
}

}  // namespace beatmarks
