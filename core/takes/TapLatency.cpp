#include "TapLatency.h"

#include <algorithm>
#include <cmath>

#include "RobustStatistics.h"

std::vector<double> LatencyClickTimesMs()
{
    std::vector<double> clicks(kLatencyClickCount);
    for (size_t i = 0; i < clicks.size(); ++i)
        clicks[i] = kLatencyFirstClickMs + static_cast<double>(i) * kLatencyClickPeriodMs;
    return clicks;
}

namespace {

struct Candidate {
    double Distance;
    size_t Click;
    size_t Tap;  // index into the sorted taps
};

}  // namespace

TapLatencyResult MeasureTapLatency(const std::vector<double>& clicksMs, const std::vector<double>& tapsMs)
{
    TapLatencyResult result;
    std::vector<double> clicks = clicksMs;
    std::sort(clicks.begin(), clicks.end());
    if (clicks.size() <= kLatencyCountInClicks)
        return result;
    clicks.erase(clicks.begin(), clicks.begin() + static_cast<std::ptrdiff_t>(kLatencyCountInClicks));

    // Sorted, so that equal candidates are told apart by time, not by the
    // order the taps came in; a NaN time (none should come) pairs with nothing.
    std::vector<double> taps;
    taps.reserve(tapsMs.size());
    for (const double tap : tapsMs)
        if (!std::isnan(tap))
            taps.push_back(tap);
    std::sort(taps.begin(), taps.end());

    // Every tap within the window of a click is a candidate; both lists are
    // sorted, so each click looks only at the taps from the first one within
    // its window on.
    std::vector<Candidate> candidates;
    size_t firstTap = 0;
    for (size_t c = 0; c < clicks.size(); ++c) {
        while (firstTap < taps.size() && taps[firstTap] < clicks[c] - kLatencyPairWindowMs)
            ++firstTap;
        for (size_t t = firstTap; t < taps.size() && taps[t] <= clicks[c] + kLatencyPairWindowMs; ++t)
            candidates.push_back({std::fabs(taps[t] - clicks[c]), c, t});
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.Distance != b.Distance)
            return a.Distance < b.Distance;
        if (a.Click != b.Click)
            return a.Click < b.Click;
        return a.Tap < b.Tap;
    });

    // The tap each click got, if any.
    std::vector<size_t> pairedTap(clicks.size(), taps.size());
    std::vector<bool> tapTaken(taps.size(), false);
    for (const Candidate& candidate : candidates) {
        if (pairedTap[candidate.Click] != taps.size() || tapTaken[candidate.Tap])
            continue;
        pairedTap[candidate.Click] = candidate.Tap;
        tapTaken[candidate.Tap] = true;
    }
    for (size_t c = 0; c < clicks.size(); ++c)
        if (pairedTap[c] != taps.size())
            result.OffsetsMs.push_back(taps[pairedTap[c]] - clicks[c]);

    result.Pairs = result.OffsetsMs.size();
    if (result.OffsetsMs.empty())
        return result;
    std::vector<double> scratch = result.OffsetsMs;
    result.MedianMs = Median(scratch);
    for (double& deviation : scratch)
        deviation = std::fabs(deviation - result.MedianMs);
    result.SpreadMs = Median(scratch);
    result.Enough = result.Pairs >= kLatencyMinPairs;
    return result;
}
