// ADEV, OADEV, MDEV, TDEV and HDEV: C. A. Greenhall and W. J. Riley,
// "Uncertainty of stability variances based on finite differences" (PTTI
// 2003), the algorithm the handbook's reference programs use: the variance of
// a mean of squared d-th differences of phase (d = 2 Allan, 3 Hadamard)
// summed from their autocovariances under the noise, with the paper's tables
// where the sum would grow long. TOTDEV: edf = b (T / tau) - c under white,
// flicker and random-walk FM, with Howe's coefficients as the reference
// programs use them; under phase noise, where that table is silent, the
// handbook's simple Allan-variance formulas, as they do too.
#include "record/stability_edf.h"

#include <algorithm>
#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>

namespace kolvane::record {

namespace {

double Sq(double v) {
  return v * v;
}

// The generalized autocovariance of phase for f^alpha frequency noise, up to a
// factor (eq. 7); alpha down to -4 for the F = infinity form below.
double Sw(double t, int alpha) {
  const double a = std::fabs(t);
  const double ln = a > 0 ? std::log(a) : 0;
  if (alpha >= 2) return -a;
  if (alpha == 1) return t * t * ln;
  if (alpha == 0) return a * a * a;
  if (alpha == -1) return -Sq(t * t) * ln;
  if (alpha == -2) return -Sq(a * a) * a;
  if (alpha == -3) return Sq(t * t * t) * ln;
  return Sq(a * a * a) * a;
}

// Phase averaged over 1/F of tau (eq. 8); F = 0 stands for F = infinity.
double Sx(double t, double f, int alpha) {
  if (f == 0) return Sw(t, alpha + 2);
  return f * f * (2 * Sw(t, alpha) - Sw(t - 1 / f, alpha) - Sw(t + 1 / f, alpha));
}

// Of the d-th difference (eq. 9).
double Sz(double t, double f, int alpha, int d) {
  static constexpr double kBinomial[4][4] = {{1}, {2, -1}, {6, -4, 1}, {20, -15, 6, -1}};
  double s = kBinomial[d][0] * Sx(t, f, alpha);
  for (int k = 1; k <= d; ++k) s += kBinomial[d][k] * (Sx(t - k, f, alpha) + Sx(t + k, f, alpha));
  return s;
}

// Eq. 10.
double BasicSum(double j, double m, double s, double f, int alpha, int d) {
  double sum = Sq(Sz(0, f, alpha, d)) + (1 - j / m) * Sq(Sz(j / s, f, alpha, d));
  for (double i = 1; i < j; ++i) sum += 2 * (1 - i / m) * Sq(Sz(i / s, f, alpha, d));
  return sum;
}

struct Coefficients {
  double a0, a1;
};
// Tables 1 (modified) and 2 (unmodified), rows alpha = 2 .. -2, columns d = 2, 3.
constexpr Coefficients kModified[5][2] = {{{7.0 / 9, 0.5}, {22.0 / 25, 2.0 / 3}},
                                          {{0.997, 0.616}, {1.141, 0.843}},
                                          {{1.033, 0.607}, {1.184, 0.848}},
                                          {{1.048, 0.534}, {1.180, 0.816}},
                                          {{1.302, 0.535}, {1.175, 0.777}}};
constexpr Coefficients kUnmodified[5][2] = {{{35.0 / 18, 1}, {231.0 / 100, 1.5}},
                                            {{790, 410}, {9950, 6520}},
                                            {{2.0 / 3, 1.0 / 3}, {7.0 / 9, 0.5}},
                                            {{0.852, 0.375}, {0.997, 0.617}},
                                            {{1.079, 0.368}, {1.033, 0.607}}};
// Table 3: flicker PM, unmodified.
constexpr Coefficients kFlickerPm[2] = {{15.23, 12}, {47.8, 40}};

// alpha 2 .. -2; d 2 or 3; modified: F = 1, else F = m; s: stride factor, 1
// for non-overlapping, m for overlapping; terms: M.
double Greenhall(int alpha, int d, double m, bool modified, double s, double terms) {
  constexpr double kJmax = 100;
  const double j = std::min(terms, (d + 1) * s);
  const double r = terms / s;
  const int row = 2 - alpha, col = d - 2;
  if (modified) {
    if (j <= kJmax) return terms * Sq(Sz(0, 1, alpha, d)) / BasicSum(j, terms, s, 1, alpha, d);
    if (r > d + 1) return r / (kModified[row][col].a0 - kModified[row][col].a1 / r);
    return kJmax * Sq(Sz(0, 1, alpha, d)) / BasicSum(kJmax, kJmax, kJmax / r, 1, alpha, d);
  }
  if (alpha == 2) {
    // White PM: terms lag k tau apart correlate as C(2d, d-k) / C(2d, d).
    static constexpr double kRho[4][4] = {
        {}, {}, {1, 4.0 / 6, 1.0 / 6}, {1, 15.0 / 20, 6.0 / 20, 1.0 / 20}};
    double sum = 1;
    for (int k = 1; k <= d && k < r; ++k) sum += 2 * (1 - k / r) * Sq(kRho[d][k]);
    return terms / sum;
  }
  if (alpha <= 0) {
    if (j <= kJmax) {
      const double f = m * (d + 1) <= kJmax ? m : 0;
      return terms * Sq(Sz(0, f, alpha, d)) / BasicSum(j, terms, s, f, alpha, d);
    }
    if (r > d + 1) return r / (kUnmodified[row][col].a0 - kUnmodified[row][col].a1 / r);
    return kJmax * Sq(Sz(0, 0, alpha, d)) / BasicSum(kJmax, kJmax, kJmax / r, 0, alpha, d);
  }
  // Flicker PM.
  if (j <= kJmax) return terms * Sq(Sz(0, m, 1, d)) / BasicSum(j, terms, s, m, 1, d);
  const double b = Sq(kFlickerPm[col].a0 + kFlickerPm[col].a1 * std::log(m));
  if (r > d + 1) return r * b / (kUnmodified[row][col].a0 - kUnmodified[row][col].a1 / r);
  return kJmax * b / BasicSum(kJmax, kJmax, kJmax / r, kJmax / r, 1, d);
}

}  // namespace

double EquivalentDof(Deviation kind, int alpha, double m, double terms) {
  alpha = std::clamp(alpha, -2, 2);
  switch (kind) {
    case Deviation::kAdev:
      return Greenhall(alpha, 2, m, false, 1, terms);
    case Deviation::kOadev:
      return Greenhall(alpha, 2, m, false, m, terms);
    case Deviation::kMdev:
    case Deviation::kTdev:
      return Greenhall(alpha, 2, m, true, m, terms);
    case Deviation::kHdev:
      return Greenhall(alpha, 3, m, false, m, terms);
    case Deviation::kTotdev:
      break;
  }
  // N - 2 terms over N phase points, which span T = (N - 1) tau0.
  const double n = terms + 2;
  if (alpha == 2) return (n + 1) * (n - 2 * m) / (2 * (n - m));
  if (alpha == 1) {
    return std::exp(std::sqrt(std::log((n - 1) / (2 * m)) * std::log((2 * m + 1) * (n - 1) / 4)));
  }
  static constexpr Coefficients kTotal[3] = {{1.500, 0}, {1.168, 0.222}, {0.927, 0.358}};
  return kTotal[-alpha].a0 * (n - 1) / m - kTotal[-alpha].a1;
}

void ConfidenceInterval(double sigma, double edf, double* low, double* high) {
  *low = *high = sigma;
  if (!(edf > 0) || !std::isfinite(edf)) return;
  // Errors give NaN or infinity rather than throw.
  namespace bp = boost::math::policies;
  using Policy =
      bp::policy<bp::domain_error<bp::ignore_error>, bp::overflow_error<bp::ignore_error>,
                 bp::evaluation_error<bp::ignore_error>>;
  const boost::math::chi_squared_distribution<double, Policy> chi2(edf);
  // One standard deviation of a normal distribution either side: 68.27 %.
  const double tail = std::erfc(1 / std::sqrt(2.0)) / 2;
  *low = sigma * std::sqrt(edf / boost::math::quantile(chi2, 1 - tail));
  *high = sigma * std::sqrt(edf / boost::math::quantile(chi2, tail));
}

}  // namespace kolvane::record
