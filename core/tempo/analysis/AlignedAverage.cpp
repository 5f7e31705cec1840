// The average of repaired takes, beat by beat.
#include "TapAnalysis.h"

#include <algorithm>
#include <cstddef>

#include "RobustStatistics.h"

std::vector<double> AverageAlignedTakes(const TakeList& aligned)
{
    return AverageAlignedTakes(aligned, std::vector<int64_t>(aligned.size(), 0));
}

std::vector<double> AverageAlignedTakes(const TakeList& aligned, const std::vector<int64_t>& firstBeats)
{
    if (aligned.empty())
        return {};
    // Grid beat firstBeats[m] + i holds tap i of take m; beats are counted
    // from the earliest first beat.
    const int64_t earliest = *std::min_element(firstBeats.begin(), firstBeats.end());
    std::vector<size_t> first(aligned.size());
    size_t longest = 0;
    for (size_t m = 0; m < aligned.size(); ++m) {
        first[m] = static_cast<size_t>(firstBeats[m] - earliest);
        longest = std::max(longest, first[m] + aligned[m]->size());
    }
    const auto holds = [&](size_t m, size_t j) { return j >= first[m] && j - first[m] < aligned[m]->size(); };
    const auto timeAt = [&](size_t m, size_t j) { return static_cast<double>((*aligned[m])[j - first[m]]); };
    // Each take's times sit off the others' by a constant, the error of its
    // first tap: the median of its differences from the plain mean. A take
    // that came in late is set by the beats it shares with the others, whose
    // plain mean must run on one clock: a take that starts later is set to
    // the mean time, at its first beat, of the takes that start first.
    std::vector<double> clock(aligned.size(), 0.0);
    for (size_t m = 0; m < aligned.size(); ++m) {
        if (first[m] == 0)
            continue;
        double sum = 0.0;
        double count = 0.0;
        for (size_t o = 0; o < aligned.size(); ++o)
            if (first[o] == 0 && holds(o, first[m])) {
                sum += timeAt(o, first[m]);
                count += 1.0;
            }
        clock[m] = count > 0.0 ? sum / count : 0.0;
    }
    std::vector<double> mean(longest, 0.0);
    for (size_t j = 0; j < longest; ++j) {
        double sum = 0.0;
        double count = 0.0;
        for (size_t m = 0; m < aligned.size(); ++m)
            if (holds(m, j)) {
                sum += timeAt(m, j) + clock[m];
                count += 1.0;
            }
        mean[j] = count > 0.0 ? sum / count : 0.0;
    }
    std::vector<double> offsets;
    std::vector<double> differences;
    for (size_t m = 0; m < aligned.size(); ++m) {
        differences.clear();
        for (size_t j = first[m]; j < first[m] + aligned[m]->size(); ++j)
            differences.push_back(timeAt(m, j) + clock[m] - mean[j]);
        offsets.push_back(differences.empty() ? 0.0 : Median(differences) - clock[m]);
    }
    // Beat by beat, the robust mean of the times set right by their
    // offsets: times, not intervals, so that no error adds up along the
    // piece.
    std::vector<double> times(longest, 0.0);
    std::vector<double> values;
    for (size_t j = 0; j < longest; ++j) {
        values.clear();
        for (size_t m = 0; m < aligned.size(); ++m)
            if (holds(m, j))
                values.push_back(timeAt(m, j) - offsets[m]);
        times[j] = values.empty() ? (j > 0 ? times[j - 1] : 0.0) : RobustMean(values);
    }
    const double origin = times.empty() ? 0.0 : times[0];
    for (double& t : times)
        t -= origin;
    return times;
}
