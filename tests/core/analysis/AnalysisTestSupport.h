// What the analysis tests share: a steady worked take, and beat lengths
// and their differences.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Take.h"

namespace analysis_test {

// A steady take of 500 ms beats (or `beat`) with a little jitter.
inline Take Steady(size_t taps, uint32_t beat = 500)
{
    Take take;
    // A little jitter, so the take has a scatter of its own.
    const int wobble[] = {0, 7, -5, 3, -8, 6, -2, 4};
    for (size_t i = 0; i < taps; ++i)
        take.push_back(static_cast<uint32_t>(static_cast<int>(i * beat) + 20 + wobble[i % 8]) - 20u);
    const uint32_t first = take[0];
    for (uint32_t& t : take)
        t -= first;
    return take;
}

// Beat lengths of times.
inline std::vector<double> Lengths(const std::vector<double>& times)
{
    std::vector<double> lengths;
    for (size_t i = 1; i < times.size(); ++i)
        lengths.push_back(times[i] - times[i - 1]);
    return lengths;
}

inline double RmsDifference(const std::vector<double>& a, const std::vector<double>& b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / static_cast<double>(a.size()));
}

}  // namespace analysis_test
