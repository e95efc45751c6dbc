#include "record/stability.h"

namespace kolvane::record {

std::string_view DeviationName(Deviation d) {
  switch (d) {
    case Deviation::kAdev:
      return "adev";
    case Deviation::kOadev:
      return "oadev";
    case Deviation::kMdev:
      return "mdev";
    case Deviation::kTdev:
      return "tdev";
    case Deviation::kHdev:
      return "hdev";
    case Deviation::kTotdev:
      return "totdev";
  }
  return "";
}

std::optional<Deviation> DeviationFromName(std::string_view name) {
  for (Deviation d : kAllDeviations)
    if (DeviationName(d) == name) return d;
  return std::nullopt;
}

std::string_view NoiseName(Noise n) {
  switch (n) {
    case Noise::kWpm:
      return "WPM";
    case Noise::kFpm:
      return "FPM";
    case Noise::kWfm:
      return "WFM";
    case Noise::kFfm:
      return "FFM";
    case Noise::kRwfm:
      return "RWFM";
  }
  return "";
}

StabilityResult AnalyzeStability(const StabilityInput&, const AnalysisOptions& options) {
  StabilityResult result;
  for (Deviation d : options.deviations) result.curves.push_back({d, {}});
  return result;
}

}  // namespace kolvane::record
