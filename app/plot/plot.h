// The picture of a recording: the readings over time with their mean (and
// the fitted drift), and beneath them the deviations of the analysis on
// log-log axes with their confidence intervals and noise types (the Allan
// deviation of the summary when no analysis was made). PNG or SVG by the file's
// extension. Works without a display: when the program has no application
// object yet, one is made for the duration of the call (offscreen when there
// is no display to use).
#pragma once

#include <string>

#include "record/series.h"
#include "record/statistics.h"

namespace kolvane::qt {

// An empty string on success, otherwise why the file was not written.
std::string WritePlot(const record::Summary& summary, const record::ReadingSeries& series,
                      const std::string& path);

}  // namespace kolvane::qt
