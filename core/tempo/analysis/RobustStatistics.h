// Robust statistics shared by the tap analysis and the smoothing: a median,
// a spread that one wild value does not widen, and a trimmed mean. Each
// reorders the values it is given (the callers pass their own scratch
// vectors), so none allocates.
//
// + - * / only, in a fixed order: these feed the exported bytes.
#pragma once

#include <cstddef>
#include <vector>

// The median of `values` (reordered); 0 when empty. Of an even count, the
// mean of the two middle values.
double Median(std::vector<double>& values);

// A robust spread: the median absolute value scaled to a normal standard
// deviation. `deviations` is overwritten with the absolute values.
double RobustScale(std::vector<double>& deviations);

// From this many values on, RobustMean sets outer ones aside: one wild
// value among them is outvoted.
constexpr size_t RobustMeanLeast = 3;

// The mean of the middle values, the outer fifth (at least one) on each side
// set aside from RobustMeanLeast values on (`values` is sorted then); 0 when
// empty.
double RobustMean(std::vector<double>& values);
