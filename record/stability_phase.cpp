#include "record/stability_phase.h"

#include <cmath>

namespace kolvane::record {

PhaseSeries PhaseSeries::FromFrequency(const std::vector<double>& y, double tau0, double drift,
                                       double tMidS) {
  PhaseSeries p;
  const std::size_t n = y.size() + 1;
  p.hi_.resize(n);
  p.lo_.resize(n);
  p.segment_.resize(n);
  double hi = 0, lo = 0;
  std::uint32_t segment = 0;
  for (std::size_t i = 0;; ++i) {
    p.hi_[i] = hi;
    p.lo_[i] = lo;
    p.segment_[i] = segment;
    if (i == y.size()) break;
    if (!std::isfinite(y[i])) {
      ++segment;
      continue;
    }
    const double t = static_cast<double>(i) * tau0 - tMidS;
    const double v = (y[i] - drift * t) * tau0;
    // Two-sum: hi + v exactly as s + e, the rounding error kept in lo.
    const double s = hi + v;
    const double bv = s - hi;
    lo += (hi - (s - bv)) + (v - bv);
    hi = s + lo;
    lo -= hi - s;
  }
  return p;
}

PhaseSeries PhaseSeries::FromPhase(const std::vector<double>& x, double tau0, double drift) {
  PhaseSeries p;
  const std::size_t n = x.size();
  p.hi_.resize(n);
  p.lo_.assign(n, 0.0);
  p.segment_.resize(n);
  p.quad_ = drift * tau0 * tau0;
  double last = 0;
  bool lastMissing = false;
  std::uint32_t segment = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const bool missing = !std::isfinite(x[k]);
    if (k > 0 && (missing || lastMissing)) ++segment;
    // A missing point holds its neighbour's phase: any finite value would do,
    // as nothing reads across it, but a near one keeps running sums exact.
    if (!missing) last = x[k];
    p.hi_[k] = last;
    p.segment_[k] = segment;
    lastMissing = missing;
  }
  return p;
}

std::size_t PhaseSeries::BytesUsed() const {
  return hi_.capacity() * sizeof(double) + lo_.capacity() * sizeof(double) +
         segment_.capacity() * sizeof(std::uint32_t);
}

}  // namespace kolvane::record
