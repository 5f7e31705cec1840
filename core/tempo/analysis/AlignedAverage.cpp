// The average of repaired takes, beat by beat.
#include "TapAnalysis.h"

#include <cstddef>

#include "RobustStatistics.h"

std::vector<double> AverageAlignedTakes(const TakeList& aligned)
{
    size_t longest = 0;
    for (const Take* take : aligned)
        longest = std::max(longest, take->size());
    // Each take's times sit off the others' by a constant, the error of its
    // first tap: the median of its differences from the plain mean.
    std::vector<double> mean(longest, 0.0);
    for (size_t j = 0; j < longest; ++j) {
        double sum = 0.0;
        double count = 0.0;
        for (const Take* take : aligned)
            if (take->size() > j) {
                sum += static_cast<double>((*take)[j]);
                count += 1.0;
            }
        mean[j] = sum / count;
    }
    std::vector<double> offsets;
    std::vector<double> differences;
    for (const Take* take : aligned) {
        differences.clear();
        for (size_t j = 0; j < take->size(); ++j)
            differences.push_back(static_cast<double>((*take)[j]) - mean[j]);
        offsets.push_back(Median(differences));
    }
    // Beat by beat, the robust mean of the times set right by their
    // offsets: times, not intervals, so that no error adds up along the
    // piece.
    std::vector<double> times(longest, 0.0);
    std::vector<double> values;
    for (size_t j = 0; j < longest; ++j) {
        values.clear();
        for (size_t m = 0; m < aligned.size(); ++m)
            if (aligned[m]->size() > j)
                values.push_back(static_cast<double>((*aligned[m])[j]) - offsets[m]);
        times[j] = RobustMean(values);
    }
    const double origin = times.empty() ? 0.0 : times[0];
    for (double& t : times)
        t -= origin;
    return times;
}
