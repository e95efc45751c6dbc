// The phase of a series on its tau0 grid, as the deviations read it: the
// difference between any two points, and whether the two are joined by
// measured points only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kolvane::record {

class PhaseSeries {
 public:
  // From fractional frequency y_i, less drift * (i tau0 - tMidS). A missing
  // y_i (NaN or infinite) leaves the phase after it unknown relative to the
  // phase before it.
  static PhaseSeries FromFrequency(const std::vector<double>& y, double tau0, double drift,
                                   double tMidS);
  // From phase in seconds, less the phase drift * tau0^2 * k (k - 1) / 2 that
  // the frequency drift builds up. A missing point joins nothing.
  static PhaseSeries FromPhase(const std::vector<double>& x, double tau0, double drift);

  std::size_t Size() const { return hi_.size(); }
  // x_b - x_a in seconds; meaningful where Joined(a, b).
  double Diff(std::size_t a, std::size_t b) const {
    double d = (hi_[b] - hi_[a]) + (lo_[b] - lo_[a]);
    if (quad_ != 0) {
      d -= quad_ * 0.5 * (static_cast<double>(b) - static_cast<double>(a)) *
           (static_cast<double>(a) + static_cast<double>(b) - 1);
    }
    return d;
  }
  // No missing point between a and b (inclusive).
  bool Joined(std::size_t a, std::size_t b) const { return segment_[a] == segment_[b]; }
  std::size_t BytesUsed() const;

 private:
  // The phase as an unevaluated sum hi + lo, so that differences of nearby
  // points keep their digits after 10^6 points of wander or offset.
  std::vector<double> hi_, lo_;
  // Runs of points joined by measurements share a number.
  std::vector<std::uint32_t> segment_;
  double quad_ = 0;
};

}  // namespace kolvane::record
