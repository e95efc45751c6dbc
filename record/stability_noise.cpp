#include "record/stability_noise.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kolvane::record {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Least squares of the valid points of z on 1, k (and k^2), subtracted; the
// basis is made orthogonal over those points, so each coefficient stands alone.
void Detrend(std::vector<double>& z, bool quadratic) {
  double n = 0, kMean = 0, zMean = 0;
  for (std::size_t k = 0; k < z.size(); ++k) {
    if (std::isnan(z[k])) continue;
    ++n;
    kMean += (static_cast<double>(k) - kMean) / n;
    zMean += (z[k] - zMean) / n;
  }
  double uu = 0, uuu = 0;
  for (std::size_t k = 0; k < z.size(); ++k) {
    if (std::isnan(z[k])) continue;
    const double u = static_cast<double>(k) - kMean;
    uu += u * u;
    uuu += u * u * u;
  }
  // p(u) = u^2 - a u - b is orthogonal to 1 and u over the valid points.
  const double a = uu > 0 ? uuu / uu : 0, b = uu / n;
  const auto p = [&](double u) { return quadratic ? u * u - a * u - b : 0.0; };
  double zu = 0, zp = 0, pp = 0;
  for (std::size_t k = 0; k < z.size(); ++k) {
    if (std::isnan(z[k])) continue;
    const double u = static_cast<double>(k) - kMean;
    zu += (z[k] - zMean) * u;
    zp += (z[k] - zMean) * p(u);
    pp += p(u) * p(u);
  }
  const double c1 = uu > 0 ? zu / uu : 0, c2 = pp > 0 ? zp / pp : 0;
  for (std::size_t k = 0; k < z.size(); ++k) {
    const double u = static_cast<double>(k) - kMean;
    z[k] = z[k] - zMean - c1 * u - c2 * p(u);
  }
}

// Lag-1 autocorrelation over the valid points and pairs.
double Lag1(const std::vector<double>& z) {
  double n = 0, mean = 0;
  for (double v : z) {
    if (!std::isnan(v)) mean += (v - mean) / ++n;
  }
  double num = 0, den = 0;
  for (std::size_t k = 0; k < z.size(); ++k) {
    if (std::isnan(z[k])) continue;
    den += (z[k] - mean) * (z[k] - mean);
    if (k + 1 < z.size() && !std::isnan(z[k + 1])) num += (z[k] - mean) * (z[k + 1] - mean);
  }
  return den > 0 ? num / den : 0;
}

}  // namespace

std::optional<int> NoiseAlpha(const PhaseSeries& series, const std::vector<double>* phase,
                              std::size_t m) {
  std::vector<double> z;
  if (phase != nullptr) {
    z.reserve(phase->size() / m + 1);
    for (std::size_t k = 0; k < phase->size(); k += m) {
      z.push_back(std::isfinite((*phase)[k]) ? (*phase)[k] : kNaN);
    }
  } else {
    z.reserve(series.Size() / m + 1);
    for (std::size_t a = 0; a + m < series.Size(); a += m) {
      z.push_back(series.Joined(a, a + m) ? series.Diff(a, a + m) : kNaN);
    }
  }
  if (static_cast<std::size_t>(std::count_if(
          z.begin(), z.end(), [](double v) { return !std::isnan(v); })) < kNoiseMinPoints) {
    return std::nullopt;
  }
  // Phase carries offset and drift as a quadratic, frequency as a line.
  Detrend(z, phase != nullptr);
  // Difference until the series is stationary (delta < 0.25): each
  // difference lowers alpha by 2; delta gives the rest.
  for (int d = 0;; ++d) {
    const double r1 = Lag1(z);
    const double delta = r1 > -1 ? r1 / (1 + r1) : -std::numeric_limits<double>::infinity();
    if (delta < 0.25 || d == 2) {
      const double alpha = -2 * std::clamp(delta, -4.0, 4.0) - 2 * d + (phase != nullptr ? 2 : 0);
      return static_cast<int>(std::clamp(std::round(alpha), -2.0, 2.0));
    }
    for (std::size_t k = 0; k + 1 < z.size(); ++k) z[k] = z[k + 1] - z[k];
    z.pop_back();
  }
}

}  // namespace kolvane::record
