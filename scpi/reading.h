// A reading as SCPI gives it: the panel's shown digits in SI base units.
#pragma once

#include <string>

#include "measure/compute.h"

namespace kolvane::scpi {

// SCPI's not-a-number, for the overflow text and for readings that failed.
inline constexpr const char* kNotANumber = "+9.91E+37";

// The shown text's digits in NR3, nothing rounded again: 10000.01 kHz is
// "+1.000001E+07", 12.30 kHz "+1.230E+04".
std::string ToNr3(const Reading& r);

}  // namespace kolvane::scpi
