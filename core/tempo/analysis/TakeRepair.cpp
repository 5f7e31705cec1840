// Repair: takes rebuilt from the findings a caller accepts.
#include "TapAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "TapReading.h"

using tap_analysis::Interval;

Take RepairTake(const TakeList& takes, const Analysis& analysis, size_t index, const std::vector<bool>* accepted,
                std::vector<int64_t>* placeOfTap)
{
    const Take& take = *takes[index];
    const TakeAnalysis& result = analysis.Takes[index];
    const auto unchanged = [&]() -> Take {
        if (placeOfTap) {
            placeOfTap->resize(take.size());
            std::iota(placeOfTap->begin(), placeOfTap->end(), int64_t{0});
        }
        return take;
    };
    const auto isAccepted = [&](size_t f) { return accepted == nullptr || (f < accepted->size() && (*accepted)[f]); };

    std::vector<bool> drop(take.size(), false);
    std::vector<int> fillAfter(take.size(), 0);
    int64_t start = 0;
    bool changes = false;
    for (size_t f = 0; f < result.Findings.size(); ++f) {
        const Finding& finding = result.Findings[f];
        if (!isAccepted(f))
            continue;
        switch (finding.Kind) {
        case FindingKind::Extra:
            drop[static_cast<size_t>(finding.Tap)] = true;
            changes = true;
            break;
        case FindingKind::Missed:
            fillAfter[static_cast<size_t>(finding.Tap)] = finding.Beats;
            changes = true;
            break;
        case FindingKind::Start:
            start = finding.Tap;
            changes = true;
            break;
        case FindingKind::Outlier:
            break;  // advice only
        }
    }
    if (!changes)
        return unchanged();

    const std::vector<double>& lengths = analysis.BeatIntervals;
    const auto lengthOf = [&](int64_t j) {
        const double fallback = lengths.empty() ? 0.0 : lengths.back();
        return j >= 0 && j < static_cast<int64_t>(lengths.size()) ? lengths[static_cast<size_t>(j)] : fallback;
    };

    // The repaired times, in milliseconds from the take's first tap as
    // given; filled-in beats fractional until the end.
    std::vector<double> times;
    times.reserve(take.size() + 8);
    // A late start: the first beats, back from the first tap by the
    // consensus lengths of the grid beats before it.
    if (start > 0) {
        const int64_t firstBeat = result.BeatOfTap.empty() ? start : result.BeatOfTap[0];
        std::vector<double> before;
        double back = 0.0;
        for (int64_t j = firstBeat - 1; j >= firstBeat - start; --j) {
            back += lengthOf(j);
            before.push_back(static_cast<double>(take[0]) - back);
        }
        times.insert(times.end(), before.rbegin(), before.rend());
    }
    // An early start: the taps before the grid's first beat go; of beats
    // missed after the last of them, those from the grid's first beat on
    // are still filled in.
    std::vector<int64_t> moved(take.size(), -1);
    size_t i = 0;
    size_t previous = take.size();
    int64_t firstKept = 0;  // grid beat from which filled-in beats are kept
    if (start < 0) {
        firstKept = 0;
        while (i < take.size() && (drop[i] || result.BeatOfTap[i] < 0)) {
            if (!drop[i] && result.BeatOfTap[i] != ExtraTap)
                previous = i;
            ++i;
        }
    } else {
        firstKept = INT64_MIN;
    }
    for (; i < take.size(); ++i) {
        if (drop[i])
            continue;
        if (previous < take.size() && fillAfter[previous] > 0 && result.BeatOfTap[previous] != ExtraTap) {
            // Missed beats: the interval split in the proportions of the
            // consensus lengths of the beats it spans.
            const int missing = fillAfter[previous];
            const int64_t from = result.BeatOfTap[previous];
            const double length = Interval(take, previous, i);
            std::vector<double> parts(static_cast<size_t>(missing) + 1);
            double total = 0.0;
            bool usableParts = from >= 0;
            for (int b = 0; b <= missing; ++b) {
                parts[static_cast<size_t>(b)] = lengthOf(from + b);
                if (!(parts[static_cast<size_t>(b)] > 0.0))
                    usableParts = false;
                total += parts[static_cast<size_t>(b)];
            }
            double sum = 0.0;
            for (int b = 0; b < missing; ++b) {
                sum += usableParts ? parts[static_cast<size_t>(b)] : 1.0;
                const double share = sum / (usableParts ? total : static_cast<double>(missing + 1));
                if (from + b + 1 >= firstKept)
                    times.push_back(static_cast<double>(take[previous]) + length * share);
            }
        }
        moved[i] = static_cast<int64_t>(times.size());
        times.push_back(static_cast<double>(take[i]));
        previous = i;
    }

    // A repair never leaves a take too short to be listed.
    if (times.size() < 2)
        return unchanged();
    if (placeOfTap)
        *placeOfTap = std::move(moved);
    Take repaired;
    repaired.reserve(times.size());
    const double origin = times.empty() ? 0.0 : times.front();
    for (const double t : times) {
        const double ms = std::floor(t - origin + 0.5);
        repaired.push_back(ms <= 0.0 ? 0u : ms >= 4294967295.0 ? 4294967295u : static_cast<uint32_t>(ms));
    }
    return repaired;
}

std::vector<bool> AcceptedFindings(const TakeAnalysis& analysis, const std::vector<FindingKey>& rejected)
{
    std::vector<bool> accepted;
    accepted.reserve(analysis.Findings.size());
    for (const Finding& finding : analysis.Findings) {
        const FindingKey key = KeyOf(finding);
        accepted.push_back(std::find(rejected.begin(), rejected.end(), key) == rejected.end());
    }
    return accepted;
}

std::vector<FindingKey> CarryRejected(const std::vector<FindingKey>& rejected,
                                      const std::vector<int64_t>& placeOfTap)
{
    std::vector<FindingKey> carried;
    for (const FindingKey& key : rejected) {
        if (key.Kind == FindingKind::Start) {
            carried.push_back(key);
            continue;
        }
        if (key.Tap < 0 || key.Tap >= static_cast<int64_t>(placeOfTap.size()))
            continue;
        const int64_t place = placeOfTap[static_cast<size_t>(key.Tap)];
        if (place >= 0)
            carried.push_back(FindingKey{key.Kind, place});
    }
    return carried;
}
