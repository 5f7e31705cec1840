#include "Consensus.h"

#include <algorithm>
#include <cstddef>

#include "RobustStatistics.h"

namespace tap_analysis {

namespace {

// The time of every tap of every take on one common clock: the clock of a
// reference take that starts on the grid's first beat, read with its own
// beats. A take's times relative to its first tap differ from the true ones
// only by tap errors (nothing accumulates), so once each take is set at its
// start beat the clocks agree to within the tapping jitter over the whole
// take.
std::vector<double> ClockOffsets(const TakeList& takes, const std::vector<Reading>& readings,
                                 const std::vector<int64_t>& starts)
{
    std::vector<double> offsets(takes.size(), 0.0);
    size_t reference = takes.size();
    for (size_t m = 0; m < takes.size() && reference == takes.size(); ++m)
        if (!readings[m].beat.empty() && starts[m] == 0)
            reference = m;
    if (reference == takes.size())
        return offsets;
    // Reference time of a grid beat: its tap, or between its kept neighbours.
    const Take& ref = *takes[reference];
    const std::vector<int64_t>& refBeat = readings[reference].beat;
    const auto timeOf = [&](const Take& take, const std::vector<int64_t>& beat, int64_t b) {
        size_t before = 0;
        for (size_t i = 0; i < take.size(); ++i) {
            if (beat[i] < 0)
                continue;
            if (beat[i] == b)
                return static_cast<double>(take[i]);
            if (beat[i] > b) {
                const double f = static_cast<double>(b - beat[before]) / static_cast<double>(beat[i] - beat[before]);
                return static_cast<double>(take[before]) + Interval(take, before, i) * f;
            }
            before = i;
        }
        return -1.0;
    };
    for (size_t m = 0; m < takes.size(); ++m) {
        if (readings[m].beat.empty())
            continue;
        const Take& take = *takes[m];
        if (starts[m] >= 0) {
            const double at = timeOf(ref, refBeat, starts[m]);
            offsets[m] = (at < 0.0 ? 0.0 : at) - static_cast<double>(take[0]);
        } else {
            const double at = timeOf(take, readings[m].beat, -starts[m]);
            offsets[m] = at < 0.0 ? 0.0 : -at;
        }
        offsets[m] -= static_cast<double>(ref[0]);
    }
    return offsets;
}

}  // namespace

std::vector<double> ConsensusLengths(const TakeList& takes, const std::vector<Reading>& readings,
                                     const std::vector<int64_t>& starts, int64_t beats)
{
    // Every take's intervals by grid beat, in flat buffers sorted by beat
    // (a counting sort): single-beat intervals, and shares of spanning ones.
    struct Piece {
        int64_t beat;
        double length;
        bool single;
    };
    std::vector<Piece> pieces;
    size_t taps = 0;
    for (const Take* take : takes)
        taps += take->size();
    pieces.reserve(taps + taps / 8);
    for (size_t m = 0; m < takes.size(); ++m) {
        const Take& take = *takes[m];
        const Reading& reading = readings[m];
        if (reading.beat.empty())
            continue;
        size_t previous = 0;
        for (size_t i = 1; i < take.size(); ++i) {
            if (reading.beat[i] < 0)
                continue;
            const int64_t from = starts[m] + reading.beat[previous];
            const int64_t k = reading.beat[i] - reading.beat[previous];
            const double length = Interval(take, previous, i) / static_cast<double>(k);
            for (int64_t b = 0; b < k; ++b)
                if (from + b >= 0 && from + b < beats)
                    pieces.push_back(Piece{from + b, length, k == 1});
            previous = i;
        }
    }
    std::vector<size_t> first(static_cast<size_t>(beats) + 1, 0);
    for (const Piece& p : pieces)
        ++first[static_cast<size_t>(p.beat) + 1];
    for (size_t j = 1; j < first.size(); ++j)
        first[j] += first[j - 1];
    std::vector<Piece> byBeat(pieces.size());
    std::vector<size_t> fill(first.begin(), first.end() - 1);
    for (const Piece& p : pieces)  // stable: takes stay in list order
        byBeat[fill[static_cast<size_t>(p.beat)]++] = p;
    std::vector<double> lengths(static_cast<size_t>(beats), 0.0);
    std::vector<bool> known(static_cast<size_t>(beats), false);
    std::vector<double> ones;
    for (size_t j = 0; j < lengths.size(); ++j) {
        ones.clear();
        for (size_t p = first[j]; p < first[j + 1]; ++p)
            if (byBeat[p].single)
                ones.push_back(byBeat[p].length);
        if (!ones.empty()) {
            lengths[j] = RobustMean(ones);
            known[j] = true;
        }
    }
    // Beats no take holds: between their known neighbours.
    int64_t previousKnown = -1;
    for (int64_t j = 0; j <= beats; ++j) {
        if (j < beats && !known[static_cast<size_t>(j)])
            continue;
        const double left = previousKnown >= 0 ? lengths[static_cast<size_t>(previousKnown)] : 0.0;
        const double right = j < beats ? lengths[static_cast<size_t>(j)] : left;
        const double leftValue = previousKnown >= 0 ? left : right;
        for (int64_t g = previousKnown + 1; g < j; ++g) {
            const double f = static_cast<double>(g - previousKnown) / static_cast<double>(j - previousKnown);
            lengths[static_cast<size_t>(g)] = leftValue + (right - leftValue) * f;
        }
        previousKnown = j;
    }
    return lengths;
}

std::vector<double> GridTimes(const std::vector<double>& lengths)
{
    std::vector<double> grid(lengths.size() + 1, 0.0);
    for (size_t j = 0; j < lengths.size(); ++j)
        grid[j + 1] = grid[j] + lengths[j];
    return grid;
}

void KeepSharedLongBeats(const TakeList& takes, std::vector<Reading>& readings, const std::vector<int64_t>& starts)
{
    const std::vector<double> offsets = ClockOffsets(takes, readings, starts);
    std::vector<std::vector<double>> kept(takes.size());  // common-clock times of kept taps
    for (size_t m = 0; m < takes.size(); ++m)
        for (size_t i = 0; i < readings[m].beat.size(); ++i)
            if (readings[m].beat[i] >= 0)
                kept[m].push_back(static_cast<double>((*takes[m])[i]) + offsets[m]);

    std::vector<std::vector<size_t>> undo(takes.size());
    for (size_t m = 0; m < takes.size(); ++m) {
        const Reading& reading = readings[m];
        for (const Finding& f : reading.findings) {
            if (f.Kind != FindingKind::Missed)
                continue;
            const size_t a = static_cast<size_t>(f.Tap);
            size_t c = a + 1;
            while (c < reading.beat.size() && reading.beat[c] < 0)
                ++c;
            if (c >= reading.beat.size())
                continue;
            const double from = static_cast<double>((*takes[m])[a]) + offsets[m];
            const double to = static_cast<double>((*takes[m])[c]) + offsets[m];
            // The missing beats would lie inside; a tap of another take in
            // the inner part of the gap is one of them.
            const double margin = (to - from) / static_cast<double>(f.Beats + 1) * 0.5;
            size_t holding = 0;
            size_t covering = 0;
            for (size_t r = 0; r < takes.size(); ++r) {
                if (r == m || kept[r].empty() || kept[r].front() > from || kept[r].back() < to)
                    continue;
                ++covering;
                const auto inside = std::upper_bound(kept[r].begin(), kept[r].end(), from + margin);
                if (inside != kept[r].end() && *inside < to - margin)
                    ++holding;
            }
            if (covering > 0 && holding * 2 <= covering)
                undo[m].push_back(a);
        }
    }
    for (size_t m = 0; m < takes.size(); ++m) {
        if (undo[m].empty())
            continue;
        Reading& reading = readings[m];
        std::sort(undo[m].begin(), undo[m].end());
        // Every kept tap after an undone spot moves back by the beats that
        // spot had added.
        int64_t back = 0;
        size_t next = 0;
        size_t previousKept = reading.beat.size();
        for (size_t i = 0; i < reading.beat.size(); ++i) {
            if (reading.beat[i] < 0)
                continue;
            const int64_t original = reading.beat[i];
            if (previousKept < reading.beat.size() && next < undo[m].size() && undo[m][next] == previousKept) {
                back += original - (reading.beat[previousKept] + back) - 1;
                ++next;
            }
            reading.beat[i] = original - back;
            previousKept = i;
        }
        std::vector<Finding> remaining;
        for (const Finding& f : reading.findings)
            if (!(f.Kind == FindingKind::Missed &&
                  std::binary_search(undo[m].begin(), undo[m].end(), static_cast<size_t>(f.Tap))))
                remaining.push_back(f);
        reading.findings = std::move(remaining);
    }
}

void KeepSharedShortBeats(const TakeList& takes, std::vector<Reading>& readings, const std::vector<int64_t>& starts)
{
    const std::vector<double> offsets = ClockOffsets(takes, readings, starts);
    // Every tap of every take on the common clock, kept or not: where all
    // takes hold a short beat, each reading may have dropped its tap.
    std::vector<std::vector<double>> all(takes.size());
    for (size_t m = 0; m < takes.size(); ++m)
        for (size_t i = 0; i < readings[m].beat.size(); ++i)
            all[m].push_back(static_cast<double>((*takes[m])[i]) + offsets[m]);

    std::vector<std::vector<size_t>> keep(takes.size());
    for (size_t m = 0; m < takes.size(); ++m) {
        const Reading& reading = readings[m];
        for (const Finding& f : reading.findings) {
            if (f.Kind != FindingKind::Extra)
                continue;
            const size_t d = static_cast<size_t>(f.Tap);
            size_t a = d;
            while (a > 0 && reading.beat[a] < 0)
                --a;
            size_t c = d + 1;
            while (c < reading.beat.size() && reading.beat[c] < 0)
                ++c;
            if (reading.beat[a] < 0 || c >= reading.beat.size())
                continue;
            const double at = all[m][d];
            const double from = all[m][a];
            const double to = all[m][c];
            // Another take holds the tap when one of its taps lies within a
            // quarter of the beat around it and inside the beat's inner
            // half: a tap near either end is that take's own tap of the
            // beat, as a double tap's neighbour is.
            const double margin = (to - from) * 0.25;
            size_t holding = 0;
            size_t covering = 0;
            for (size_t r = 0; r < takes.size(); ++r) {
                if (r == m || all[r].empty() || all[r].front() > all[m][a] || all[r].back() < all[m][c])
                    continue;
                ++covering;
                const double low = std::max(at - margin, from + margin);
                const double high = std::min(at + margin, to - margin);
                const auto near = std::lower_bound(all[r].begin(), all[r].end(), low);
                if (low <= high && near != all[r].end() && *near <= high)
                    ++holding;
            }
            if (covering > 0 && holding * 2 > covering)
                keep[m].push_back(d);
        }
    }
    for (size_t m = 0; m < takes.size(); ++m) {
        if (keep[m].empty())
            continue;
        Reading& reading = readings[m];
        std::sort(keep[m].begin(), keep[m].end());
        // Each tap kept again is a beat of its own: it and every kept tap
        // after it move on by one beat per such tap before them.
        int64_t on = 0;
        size_t next = 0;
        int64_t previousBeat = 0;
        for (size_t i = 0; i < reading.beat.size(); ++i) {
            if (next < keep[m].size() && keep[m][next] == i) {
                ++next;
                ++on;
                reading.beat[i] = previousBeat + 1;
                previousBeat = reading.beat[i];
                continue;
            }
            if (reading.beat[i] < 0)
                continue;
            reading.beat[i] += on;
            previousBeat = reading.beat[i];
        }
        std::vector<Finding> remaining;
        for (const Finding& f : reading.findings)
            if (!(f.Kind == FindingKind::Extra &&
                  std::binary_search(keep[m].begin(), keep[m].end(), static_cast<size_t>(f.Tap))))
                remaining.push_back(f);
        reading.findings = std::move(remaining);
    }
}

}  // namespace tap_analysis
