// Frequency-stability analysis of a series on a fixed grid: the family of
// deviations with their confidence intervals, the dominant noise at each
// tau, the linear frequency drift and the missing points.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kolvane::record {

enum class Deviation { kAdev, kOadev, kMdev, kTdev, kHdev, kTotdev };
inline constexpr Deviation kAllDeviations[] = {Deviation::kAdev, Deviation::kOadev,
                                               Deviation::kMdev, Deviation::kTdev,
                                               Deviation::kHdev, Deviation::kTotdev};
// "adev", "oadev", "mdev", "tdev", "hdev", "totdev"
std::string_view DeviationName(Deviation d);
std::optional<Deviation> DeviationFromName(std::string_view name);

enum class Noise { kWpm, kFpm, kWfm, kFfm, kRwfm };
// "WPM", "FPM", "WFM", "FFM", "RWFM"
std::string_view NoiseName(Noise n);

enum class TauSpacing { kOctave, kDecade };  // m = 1, 2, 4, ... or 1, 2, 5, 10, 20, 50, ...

// Points on a tau0 grid; NaN marks a missing point. Fractional frequency y,
// or phase x in seconds.
struct StabilityInput {
  double tau0 = 1.0;
  std::vector<double> values;
  bool phase = false;
};

struct AnalysisOptions {
  std::vector<Deviation> deviations{Deviation::kOadev, Deviation::kMdev, Deviation::kHdev,
                                    Deviation::kTdev};
  TauSpacing taus = TauSpacing::kOctave;
  bool removeDrift = false;
};

struct DeviationPoint {
  double tau = 0;
  double value = 0;
  std::uint64_t terms = 0;  // the estimator's terms that span no missing point
  double edf = 0;           // equivalent degrees of freedom
  double low = 0;           // 68.3 % confidence interval from chi-squared with edf
  double high = 0;
  std::optional<Noise> noise;  // empty where the data are too few to tell
};

struct DeviationCurve {
  Deviation kind;
  std::vector<DeviationPoint> points;
};

struct DriftFit {
  double perS = 0;    // least-squares slope of y against time, per second
  double perDay = 0;  // perS * 86400
  bool removed = false;
};

struct GapReport {
  std::uint64_t missing = 0;    // missing points
  std::uint64_t intervals = 0;  // runs of consecutive missing points
};

struct StabilityResult {
  std::vector<DeviationCurve> curves;  // in the order asked for
  std::optional<DriftFit> drift;       // empty when there are too few points
  GapReport gaps;
};

StabilityResult AnalyzeStability(const StabilityInput& input, const AnalysisOptions& options);

}  // namespace kolvane::record
