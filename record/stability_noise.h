// The dominant power-law noise of a series at an averaging factor, by the
// lag-1 autocorrelation (W. J. Riley and C. A. Greenhall, "Power law noise
// identification using the lag 1 autocorrelation", 2004).
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "record/stability_phase.h"

namespace kolvane::record {

// Fewer points at an averaging factor than this tell nothing.
inline constexpr std::size_t kNoiseMinPoints = 30;

// alpha of S_y(f) ~ f^alpha at averaging factor m, from 2 (white PM) to -2
// (random-walk FM): from the phase points x_0, x_m, x_2m, ... where the input
// is phase (`phase`, missing points NaN), else from the means of y over m
// read from `series`. Empty with fewer than kNoiseMinPoints points.
std::optional<int> NoiseAlpha(const PhaseSeries& series, const std::vector<double>* phase,
                              std::size_t m);

}  // namespace kolvane::record
