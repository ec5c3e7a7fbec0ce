#include "listen/low_residual.h"

#include <cmath>
#include <numbers>

namespace beatmarks {
namespace {

constexpr std::size_t kOrder = 6;
constexpr std::size_t kFitted = 40;  // values the predictor is fitted on
constexpr double kSilence = 1e-14;

}  // namespace

std::size_t LowResidual::History() { return kFitted; }

void LowResidual::Compute(const std::vector<double>& means, std::vector<double>& residual) {
  residual.assign(means.size(), 0.0);
  tapered_.resize(kFitted);
  correlation_.resize(kOrder + 1);
  if (taper_.empty()) {
    for (std::size_t i = 0; i < kFitted; ++i) {
      taper_.push_back(0.5 - 0.5 * std::cos(2 * std::numbers::pi * (static_cast<double>(i) + 0.5) / kFitted));
    }
  }
  for (std::size_t h = kFitted; h < means.size(); ++h) {
    // Hann-tapered autocorrelation of the values before h: positive
    // definite, so the recursion below stays stable.
    for (std::size_t i = 0; i < kFitted; ++i) tapered_[i] = taper_[i] * means[h - kFitted + i];
    for (std::size_t lag = 0; lag <= kOrder; ++lag) {
      double sum = 0;
      for (std::size_t i = lag; i < kFitted; ++i) sum += tapered_[i] * tapered_[i - lag];
      correlation_[lag] = sum;
    }
    double predicted = 0;
    if (correlation_[0] > kSilence) {
      // Levinson's recursion; A(z) = 1 + sum coefficients_[j - 1] z^-j.
      correlation_[0] *= 1 + 1e-9;
      coefficients_.clear();
      double error = correlation_[0];
      for (std::size_t m = 1; m <= kOrder; ++m) {
        double acc = correlation_[m];
        for (std::size_t j = 1; j < m; ++j) acc += coefficients_[j - 1] * correlation_[m - j];
        const double k = -acc / error;
        previous_ = coefficients_;
        coefficients_.push_back(k);
        for (std::size_t j = 1; j < m; ++j) coefficients_[j - 1] = previous_[j - 1] + k * previous_[m - j - 1];
        error *= 1 - k * k;
        if (!(error > kSilence)) break;
      }
      for (std::size_t j = 1; j <= coefficients_.size(); ++j) predicted -= coefficients_[j - 1] * means[h - j];
    }
    residual[h] = means[h] - predicted;
  }
}

}  // namespace beatmarks
