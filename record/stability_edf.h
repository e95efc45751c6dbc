// Equivalent degrees of freedom of the deviations, and the confidence
// interval of a deviation from them.
#pragma once

#include "record/stability.h"

namespace kolvane::record {

// The edf of deviation `kind` at averaging factor m, from the `terms` terms it
// summed, under power-law noise S_y(f) ~ f^alpha, alpha from 2 (WPM) to -2
// (RWFM).
double EquivalentDof(Deviation kind, int alpha, double m, double terms);

// The 68.3 % interval of a deviation with edf degrees of freedom, from the
// chi-squared distribution: one standard deviation either side (68.27 %), as
// the handbook's reference programs give it.
void ConfidenceInterval(double sigma, double edf, double* low, double* high);

}  // namespace kolvane::record
