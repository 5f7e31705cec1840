#include "RobustStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

double Median(std::vector<double>& v)
{
    if (v.empty())
        return 0.0;
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
    const double upper = v[mid];
    if (v.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid));
    return (lower + upper) * 0.5;
}

double RobustScale(std::vector<double>& deviations)
{
    for (double& d : deviations)
        d = std::fabs(d);
    return 1.4826 * Median(deviations);
}

double RobustMean(std::vector<double>& values)
{
    const size_t n = values.size();
    if (n == 0)
        return 0.0;
    size_t trim = 0;
    if (n >= RobustMeanLeast) {
        trim = std::max<size_t>(1, n / 5);
        std::sort(values.begin(), values.end());
    }
    double sum = 0.0;
    for (size_t i = trim; i < n - trim; ++i)
        sum += values[i];
    return sum / static_cast<double>(n - 2 * trim);
}
