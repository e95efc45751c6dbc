// The end of a run in words (for the terminal) and as a JSON object (for
// programs). Numbers never pass through a locale.
#pragma once

#include <string>

#include "record/statistics.h"

namespace kolvane::record {

std::string SummaryText(const Summary& s);
std::string SummaryJson(const Summary& s);

// The shortest text that reads back as the same double; "null" when not finite.
std::string JsonNumber(double v);
// `v` with `digits` significant digits, as %.<digits>g does in the C locale.
std::string General(double v, int digits);

}  // namespace kolvane::record
