#include "record/statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "record/names.h"

namespace kolvane::record {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

std::vector<AdevPoint> OverlappingAdev(const ReadingSeries& series, double mean, double tau0S) {
  std::vector<AdevPoint> out;
  const std::size_t n = series.Size();
  if (!(mean != 0) || !std::isfinite(mean) || !(tau0S > 0)) return out;
  // (x - mean) / mean rather than x / mean - 1: the subtraction is exact for
  // readings near the mean, so the fractional values keep their digits.
  const auto y = [&](std::size_t i) { return (series.Value(i) - mean) / mean; };
  for (std::size_t m = 1; n >= 2 * m; m *= 2) {
    const std::size_t terms = n - 2 * m + 1;
    // The inner sum A_j = sum_{i=j}^{j+m-1} (y_{i+m} - y_i) is S_{j+2m} -
    // 2 S_{j+m} + S_j over prefix sums S; it is carried from one j to the
    // next by those differences, so no array of prefix sums is needed.
    double a = 0;
    for (std::size_t i = 0; i < m; ++i) a += y(i + m) - y(i);
    double sum = a * a;
    for (std::size_t j = 1; j < terms; ++j) {
      a += y(j + 2 * m - 1) - 2 * y(j + m - 1) + y(j - 1);
      sum += a * a;
    }
    const double md = static_cast<double>(m);
    const double avar = sum / (2.0 * md * md * static_cast<double>(terms));
    out.push_back({md * tau0S, std::sqrt(avar), terms});
  }
  return out;
}

double MedianIntervalS(const ReadingSeries& series) {
  const std::size_t n = series.Size();
  if (n < 2) return kNaN;
  // Intervals are whole milliseconds and take few distinct values, so a
  // count per value finds the median without a copy of the series.
  std::map<std::int64_t, std::size_t> counts;
  for (std::size_t i = 1; i < n; ++i) ++counts[series.TimeMs(i) - series.TimeMs(i - 1)];
  const std::size_t k = n - 1;
  const std::size_t lo = (k - 1) / 2, hi = k / 2;  // the middle one or two
  std::size_t seen = 0;
  std::int64_t loValue = 0;
  for (const auto& [ms, count] : counts) {
    if (seen <= lo && lo < seen + count) loValue = ms;
    if (seen <= hi && hi < seen + count) {
      return static_cast<double>(loValue + ms) / 2000.0;
    }
    seen += count;
  }
  return kNaN;
}

void Statistics::Add(const ShownReading& shown, double elapsedS) {
  if (!started_) {
    started_ = true;
    mode_ = shown.measureMode;
  }
  if (shown.measureMode != mode_) return;
  switch (StatusOf(shown)) {
    case RowStatus::Stop:
      ++stops_;
      return;
    case RowStatus::Overflow:
      ++overflows_;
      return;
    case RowStatus::Ok:
      break;
  }
  const ReadingFormat& format = shown.reading.format;
  if (!hasUnit_) {
    hasUnit_ = true;
    unit_ = format.unit;
  }
  if (format.unit != unit_) return;
  const double x = shown.reading.value;
  if (!std::isfinite(x)) return;
  decimals_ = std::max(decimals_, format.decimals);
  // Welford's update: stable for long runs of nearly equal values.
  ++n_;
  const double delta = x - mean_;
  mean_ += delta / static_cast<double>(n_);
  m2_ += delta * (x - mean_);
  min_ = n_ == 1 ? x : std::min(min_, x);
  max_ = n_ == 1 ? x : std::max(max_, x);
  series_.Add(elapsedS, x);
}

double Statistics::Mean() const {
  return n_ > 0 ? mean_ : kNaN;
}

double Statistics::Stdev() const {
  return n_ > 1 ? std::sqrt(m2_ / static_cast<double>(n_ - 1)) : kNaN;
}

Summary Statistics::Summarize() const {
  Summary s;
  s.readings = n_;
  s.overflows = overflows_;
  s.stops = stops_;
  s.mode = started_ ? std::string(ModeName(mode_)) : std::string();
  s.hasUnit = hasUnit_;
  s.unit = std::string(UnitName(unit_));
  s.decimals = decimals_;
  s.mean = Mean();
  s.stdev = Stdev();
  s.min = n_ > 0 ? min_ : kNaN;
  s.max = n_ > 0 ? max_ : kNaN;
  s.tau0S = MedianIntervalS(series_);
  if (HasAllanDeviation(mode_)) s.adev = OverlappingAdev(series_, s.mean, s.tau0S);
  return s;
}

}  // namespace kolvane::record
