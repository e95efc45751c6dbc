#include "record/recording_grid.h"

#include <cmath>
#include <limits>

#include "record/names.h"

namespace kolvane::record {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint32_t kFrequency = 1;
constexpr std::uint32_t kPeriod = 2;
// Below this tau0 the read times' jitter hides a result that never came.
constexpr double kGapsFromTimesS = 0.1;

double UnitScale(ReadingUnit unit) {
  switch (unit) {
    case ReadingUnit::Kilohertz:
      return 1e3;
    case ReadingUnit::Microseconds:
      return 1e-6;
    case ReadingUnit::Milliseconds:
      return 1e-3;
    case ReadingUnit::None:
    case ReadingUnit::Overflow:
      break;
  }
  return 1;
}

// Missing points may outnumber the rows, but not without bound: a time
// stamp far off would otherwise ask for more memory than there is.
std::size_t MissingAllowed(std::size_t rows) {
  return 10 * rows + 100000;
}

}  // namespace

void RecordingGrid::Add(const ShownReading& shown, double elapsedS) {
  if (!started_) {
    started_ = true;
    mode_ = shown.measureMode;
  }
  double value = kNaN;
  if (shown.measureMode == mode_ && StatusOf(shown) == RowStatus::Ok &&
      std::isfinite(shown.reading.value)) {
    const ReadingUnit unit = shown.reading.format.unit;
    if (!unit_) unit_ = unit;
    value = shown.reading.value;
    // The settings changed the unit (a period's time stamp): the value in
    // the first reading's unit, so that the mean spans them all.
    if (unit != *unit_) value *= UnitScale(unit) / UnitScale(*unit_);
  }
  rows_.Add(elapsedS, value);
}

bool RecordingGrid::Applies() const {
  return started_ && (mode_ == kFrequency || mode_ == kPeriod);
}

bool RecordingGrid::Build(StabilityInput* out, std::size_t* badRow, std::string* why) const {
  const std::size_t n = rows_.Size();
  out->phase = false;
  out->values.clear();
  out->tau0 = MedianIntervalS(rows_);
  // The mean of the present values, summed with Neumaier's compensation so
  // that a long run keeps its digits.
  double sum = 0, carry = 0;
  std::size_t present = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double v = rows_.Value(i);
    if (std::isnan(v)) continue;
    const double t = sum + v;
    carry += std::abs(sum) >= std::abs(v) ? (sum - t) + v : (v - t) + sum;
    sum = t;
    ++present;
  }
  const double mean = present > 0 ? (sum + carry) / static_cast<double>(present) : kNaN;
  const bool frequency = Applies() && mode_ == kFrequency;
  const bool period = Applies() && mode_ == kPeriod;
  const auto y = [&](double v) {
    if (std::isnan(v)) return v;
    // Differences first: exact for readings near the mean, so y keeps its
    // digits. A reading with no finite fractional frequency (a period of 0)
    // is a missing point.
    double r = 0;
    if (frequency) r = (v - mean) / mean;
    if (period) r = (mean - v) / v;
    return std::isfinite(r) ? r : kNaN;
  };

  const bool fromTimes = out->tau0 >= kGapsFromTimesS;
  std::size_t missing = 0;
  out->values.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && fromTimes) {
      const double interval = static_cast<double>(rows_.TimeMs(i) - rows_.TimeMs(i - 1)) / 1e3;
      if (interval > 1.5 * out->tau0) {
        const double lost = std::round(interval / out->tau0) - 1;
        if (lost > static_cast<double>(MissingAllowed(n) - missing)) {
          *badRow = i;
          *why = "the time since the row before leaves " + std::to_string(std::llround(lost)) +
                 " missing points, more than a recording of " + std::to_string(n) +
                 " rows can hold";
          return false;
        }
        missing += static_cast<std::size_t>(lost);
        out->values.insert(out->values.end(), static_cast<std::size_t>(lost), kNaN);
      }
    }
    out->values.push_back(y(rows_.Value(i)));
  }
  return true;
}

StabilityResult AnalyseGrid(const StabilityInput& input, bool applies,
                            const AnalysisOptions& options) {
  StabilityResult r;
  if (!(input.tau0 > 0)) {
    // No grid: nothing to analyse, but a missing point is still one.
    if (applies) {
      for (const Deviation d : options.deviations) r.curves.push_back({d, {}});
    }
    bool inGap = false;
    for (const double v : input.values) {
      if (std::isnan(v)) {
        ++r.gaps.missing;
        if (!inGap) ++r.gaps.intervals;
      }
      inGap = std::isnan(v);
    }
    return r;
  }
  AnalysisOptions asked = options;
  if (!applies) asked.deviations.clear();
  r = AnalyzeStability(input, asked);
  if (!applies) r.drift.reset();
  return r;
}

void AddAnalysis(const StabilityInput& input, bool applies, const AnalysisOptions& options,
                 Summary* summary) {
  summary->analysed = true;
  summary->deviationsApply = applies;
  summary->analysisTau0S = input.tau0;
  summary->stability = AnalyseGrid(input, applies, options);
}

}  // namespace kolvane::record
