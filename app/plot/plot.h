// The picture of a recording: the readings over time with their mean, and
// beneath them the Allan deviation on log-log axes. PNG or SVG by the file's
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
