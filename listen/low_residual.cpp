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
  for (std::size_t lag = 0; lag <= kOrder; ++lag) {
    std::array<double, kBatch> sum{};  // kept in registers
    for (std::size_t i = lag; i < kFitted; ++i) {
      for (std::size_t w = 0; w < kBatch; ++w) sum[w] += tapered[i][w] * tapered[i - lag][w];
    }
    sums[lag] = sum;
  }
}

// Two lanes' doubles in one vector register, and a per-lane mask or count.
using Pair = double __attribute__((vector_size(16)));
using PairMask = std::int64_t __attribute__((vector_size(16)));

constexpr std::size_t kPairs = kBatch / 2;

// A batch's predictors: A(z) = 1 + sum a[j - 1] z^-j, of order `order`, two
// lanes a pair.
struct Predictors {
  std::array<std::array<Pair, kPairs>, kOrder> a;
  std::array<PairMask, kPairs> order;
};

// Levinson's recursion on each lane's correlation, every pair of lanes
// side by side, so that one's divisions need not wait for another's. A lane
// stops where its error falls to silence, keeping its order; a silent
// stretch (correlation[0] at most kSilence) gets order 0. Each lane's
// values are those the recursion run on it alone gives.
void Levinson(const Correlations& sums, Predictors& fits) {
  const Pair one{1, 1};
  std::array<std::array<Pair, kPairs>, kOrder + 1> correlation;
  std::array<PairMask, kPairs> live;
  std::array<Pair, kPairs> error;
  for (std::size_t p = 0; p < kPairs; ++p) {
    for (std::size_t lag = 0; lag <= kOrder; ++lag) correlation[lag][p] = Pair{sums[lag][2 * p], sums[lag][2 * p + 1]};
    live[p] = correlation[0][p] > kSilence;
    correlation[0][p] *= 1 + 1e-9;
    error[p] = live[p] ? correlation[0][p] : one;
    fits.order[p] = PairMask{0, 0};
    for (auto& lanes : fits.a) lanes[p] = Pair{0, 0};
  }
  auto& a = fits.a;
  for (std::size_t m = 1; m <= kOrder; ++m) {
    for (std::size_t p = 0; p < kPairs; ++p) {
      Pair acc = correlation[m][p];
      for (std::size_t j = 1; j < m; ++j) acc += a[j - 1][p] * correlation[m - j][p];
      const Pair k = -acc / error[p];
      std::array<Pair, kOrder> next;
      for (std::size_t j = 1; j < m; ++j) next[j - 1] = a[j - 1][p] + k * a[m - j - 1][p];
      next[m - 1] = k;
      for (std::size_t j = 0; j < m; ++j) a[j][p] = live[p] ? next[j] : a[j][p];
      fits.order[p] = live[p] ? PairMask{} + static_cast<std::int64_t>(m) : fits.order[p];
      const Pair reduced = error[p] * (1 - k * k);
      live[p] = live[p] & (reduced > kSilence);
      error[p] = live[p] ? reduced : one;
    }
  }
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
  const std::size_t count = (means.size() - fit0 + kRefit - 1) / kRefit;
  Correlations sums;
  Predictors fits;
  std::array<double, kOrder> coefficients;
  for (std::size_t k0 = 0; k0 < count; k0 += kBatch) {
    const std::size_t lanes = std::min(kBatch, count - k0);
    TaperedCorrelations(taper_.data(), means.data() + (fit0 + k0 * kRefit - kFitted), lanes, sums);
    // Positive definite, so the recursion stays stable.
    Levinson(sums, fits);
    for (std::size_t w = 0; w < lanes; ++w) {
      for (std::size_t j = 0; j < kOrder; ++j) coefficients[j] = fits.a[j][w / 2][w % 2];
      const std::size_t end = fit0 + (k0 + w) * kRefit;
      Predict(means, coefficients, static_cast<std::size_t>(fits.order[w / 2][w % 2]), std::max(History(), end),
              std::min(means.size(), end + kRefit), residual);
    }
  }
}

}  // namespace beatmarks
