#include "StartMatching.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "RobustStatistics.h"

namespace tap_analysis {

namespace {

// Shifts of up to this many beats are tried when matching the starts of
// two takes.
constexpr int MaxStartShift = 8;
constexpr size_t MinStartOverlap = 16;
constexpr size_t StartOpening = 128;
// A shift between two takes' openings counts when its squared t is above
// this (t above 3.5); evidence is capped so that no single pair outweighs
// the rest.
constexpr double StartEvidence = 12.0;
constexpr double MaxStartEvidence = 50.0;
// The best shift is told from its closest rival when the squared t of its
// advantage is above this (t above 1.6): below, the difference is what the
// takes' own scatter puts between two placings that fit alike.
constexpr double RivalEvidence = 2.5;
// An interval of an opening within SplitTolerance of two beats (the median
// of SplitNeighbours intervals each side) may be a missed tap; the openings
// split there are believed where they fit better than the others
// (their mean mismatch below SplitFit of the others').
constexpr size_t SplitNeighbours = 4;
constexpr double SplitTolerance = 0.2;
constexpr double SplitFit = 0.95;

// How the opening of one take matches another's: the shift s at which beat
// b of `late` matches beat b + s of `early` best, and how strongly the
// evidence speaks for it (the squared t of the paired improvement over shift
// 0, beat by beat; when s is 0, of 0 over the best other shift). The comparison is of relative differences
// of the beat lengths, each capped, so that a slip left in a reading weighs
// no more than a large deviation.
struct StartMatch {
    bool comparable = false;
    int shift = 0;
    double evidence = 0.0;
    double fit = 0.0;  // the mean mismatch at the best shift
    // The best shift is no clearer than its closest rival: in steady music
    // a shift of a beat or two fits about as well as the true one (aliases),
    // and the match then says nothing about where the take came in.
    bool ambiguous = false;
};

StartMatch MatchStarts(const std::vector<double>& late, const std::vector<double>& early)
{
    constexpr double Cap = 0.2 * 0.2;
    auto mismatch = [&](size_t b, int s) {
        const double x = late[b];
        const double y = early[static_cast<size_t>(static_cast<int64_t>(b) + s)];
        const double q = (x - y) / (x + y);
        return std::min(q * q, Cap);
    };
    // Entries of 0 (beats a reading split or could not measure) and
    // lengths that are not positive are passed over.
    auto inRange = [&](size_t b, int s) {
        const int64_t e = static_cast<int64_t>(b) + s;
        return e >= 0 && e < static_cast<int64_t>(early.size()) && late[b] > 0.0 &&
               early[static_cast<size_t>(e)] > 0.0;
    };
    const size_t opening = std::min(late.size(), StartOpening);
    double bestMean = Infinity;
    int bestShift = 0;
    double zeroMean = Infinity;
    double otherMean = Infinity;  // the best shift other than 0
    int otherShift = 0;
    std::vector<double> means(2 * MaxStartShift + 1, Infinity);
    for (int s = -MaxStartShift; s <= MaxStartShift; ++s) {
        double sum = 0.0;
        size_t count = 0;
        for (size_t b = 0; b < opening; ++b)
            if (inRange(b, s)) {
                sum += mismatch(b, s);
                ++count;
            }
        if (count < MinStartOverlap)
            continue;
        const double mean = sum / static_cast<double>(count);
        means[static_cast<size_t>(s + MaxStartShift)] = mean;
        if (s == 0)
            zeroMean = mean;
        else if (mean < otherMean) {
            otherMean = mean;
            otherShift = s;
        }
        if (mean < bestMean) {
            bestMean = mean;
            bestShift = s;
        }
    }
    // Squared t of the paired improvement of shift `to` over shift `from`.
    auto evidence = [&](int from, int to) {
        double sum = 0.0;
        double sumSquares = 0.0;
        size_t count = 0;
        for (size_t b = 0; b < opening; ++b) {
            if (!inRange(b, from) || !inRange(b, to))
                continue;
            const double d = mismatch(b, from) - mismatch(b, to);
            sum += d;
            sumSquares += d * d;
            ++count;
        }
        if (count < MinStartOverlap)
            return 0.0;
        const double n = static_cast<double>(count);
        const double mean = sum / n;
        const double variance = (sumSquares - sum * mean) / (n - 1.0);
        if (!(mean > 0.0))
            return 0.0;
        return variance > 0.0 ? std::min(mean * mean * n / variance, MaxStartEvidence) : MaxStartEvidence;
    };
    StartMatch match;
    match.comparable = zeroMean != Infinity;
    if (!match.comparable)
        return match;
    match.fit = bestMean;
    if (bestShift == 0) {
        // How clearly 0 beats every other shift.
        match.evidence = otherMean == Infinity ? 0.0 : evidence(otherShift, 0);
        match.ambiguous = !(match.evidence > RivalEvidence);
        return match;
    }
    // The closest rival of the best shift, 0 among the others: the best
    // counts only as far as it is clearer than that rival too. Tested as
    // against 0: the squared t of the paired improvement, beat by beat.
    int rivalShift = 0;
    double rivalMean = Infinity;
    for (int s = -MaxStartShift; s <= MaxStartShift; ++s) {
        const double mean = means[static_cast<size_t>(s + MaxStartShift)];
        if (s != bestShift && mean < rivalMean) {
            rivalMean = mean;
            rivalShift = s;
        }
    }
    if (!(bestMean < 0.7 * zeroMean)) {
        match.ambiguous = true;
        return match;
    }
    match.shift = bestShift;
    match.evidence = evidence(0, bestShift);
    const double overRival = rivalShift == 0 ? match.evidence : evidence(rivalShift, bestShift);
    match.ambiguous = !(overRival > RivalEvidence);
    if (!(match.evidence > 0.0))
        match.shift = 0;
    return match;
}

}  // namespace

Opening OpeningLengths(const Take& take, const Reading& reading)
{
    Opening opening;
    size_t firstWhole = 0;
    size_t firstByBeat = 0;
    bool found = false;
    size_t previous = 0;
    for (size_t i = 1; i < take.size(); ++i) {
        if (reading.beat[i] < 0) {
            if (!found) {
                firstWhole = opening.Whole.size();
                firstByBeat = opening.ByBeat.size();
            }
            found = true;
            continue;
        }
        const int64_t k = reading.beat[i] - reading.beat[previous];
        if (k != 1 && !found) {
            firstWhole = opening.Whole.size();
            firstByBeat = opening.ByBeat.size();
            found = true;
        }
        const double length = Interval(take, previous, i);
        opening.Whole.push_back(length);
        for (int64_t b = 0; b < k; ++b)
            opening.ByBeat.push_back(k == 1 ? length : 0.0);
        previous = i;
    }
    if (found && firstWhole >= 2 * MinStartOverlap) {
        opening.Whole.resize(firstWhole);
        opening.ByBeat.resize(firstByBeat);
    }
    // Split: the ByBeat entries with every one-beat interval near two of its
    // neighbours (the median of up to SplitNeighbours each side) made two
    // entries of 0.
    const std::vector<double>& byBeat = opening.ByBeat;
    const size_t count = std::min(byBeat.size(), StartOpening);
    std::vector<double> window;
    for (size_t b = 0; b < count; ++b) {
        const double length = byBeat[b];
        bool split = false;
        if (length > 0.0) {
            window.clear();
            for (size_t j = b >= SplitNeighbours ? b - SplitNeighbours : 0; j < std::min(count, b + SplitNeighbours + 1);
                 ++j)
                if (j != b && byBeat[j] > 0.0)
                    window.push_back(byBeat[j]);
            if (window.size() >= SplitNeighbours) {
                const double beat = Median(window);
                split = std::fabs(length / beat - 2.0) <= SplitTolerance;
            }
        }
        if (split) {
            opening.Split.push_back(0.0);
            opening.Split.push_back(0.0);
        } else {
            opening.Split.push_back(length);
        }
    }
    return opening;
}

std::vector<int64_t> MatchAllStarts(const std::vector<Opening>& openings, const std::vector<bool>& usable,
                                    std::vector<bool>* undetermined)
{
    const size_t n = openings.size();
    std::vector<std::vector<StartMatch>> pair(n, std::vector<StartMatch>(n));
    for (size_t m = 0; m < n; ++m)
        for (size_t r = 0; r < n; ++r)
            if (m != r && usable[m] && usable[r]) {
                const StartMatch whole = MatchStarts(openings[m].Whole, openings[r].Whole);
                const StartMatch byBeat = MatchStarts(openings[m].ByBeat, openings[r].ByBeat);
                pair[m][r] = !byBeat.comparable || (whole.comparable && whole.fit <= byBeat.fit) ? whole : byBeat;
                const StartMatch split = MatchStarts(openings[m].Split, openings[r].Split);
                if (split.comparable && (!pair[m][r].comparable || split.fit < SplitFit * pair[m][r].fit))
                    pair[m][r] = split;
            }
    const auto both = [&](size_t m, size_t r) { return m != r && usable[m] && usable[r]; };
    // The evidence of both matches of m and r for m starting at v and r at w.
    const auto support = [&](size_t m, int64_t v, size_t r, int64_t w) {
        double sum = 0.0;
        if (pair[m][r].comparable && v - w == pair[m][r].shift)
            sum += pair[m][r].evidence;
        if (pair[r][m].comparable && w - v == pair[r][m].shift)
            sum += pair[r][m].evidence;
        return sum;
    };
    const auto agreement = [&](const std::vector<int64_t>& starts) {
        double score = 0.0;
        for (size_t m = 0; m < n; ++m)
            for (size_t r = m + 1; r < n; ++r)
                if (both(m, r))
                    score += support(m, starts[m], r, starts[r]);
        return score;
    };
    std::vector<int64_t> best(n, 0);
    double bestScore = -1.0;
    for (size_t anchor = 0; anchor < n; ++anchor) {
        if (!usable[anchor])
            continue;
        std::vector<int64_t> starts(n, 0);
        for (size_t m = 0; m < n; ++m)
            if (both(m, anchor) && pair[m][anchor].evidence > StartEvidence)
                starts[m] = pair[m][anchor].shift;
        for (int sweep = 0; sweep < 3; ++sweep) {
            bool moved = false;
            for (size_t m = 0; m < n; ++m) {
                if (!usable[m])
                    continue;
                const auto total = [&](int64_t v) {
                    double sum = 0.0;
                    for (size_t r = 0; r < n; ++r)
                        if (both(m, r))
                            sum += support(m, v, r, starts[r]);
                    return sum;
                };
                double bestTotal = total(starts[m]);
                for (size_t c = 0; c < n; ++c) {
                    if (!both(m, c))
                        continue;
                    const int64_t v = starts[c] + pair[m][c].shift;
                    const double t = total(v);
                    if (t > bestTotal) {
                        bestTotal = t;
                        starts[m] = v;
                        moved = true;
                    }
                }
            }
            if (!moved)
                break;
        }
        const double score = agreement(starts);
        if (score > bestScore) {
            bestScore = score;
            best = starts;
        }
    }
    // The start most takes share (the earliest among equals).
    int64_t common = 0;
    size_t commonCount = 0;
    for (size_t m = 0; m < n; ++m) {
        if (!usable[m])
            continue;
        size_t sharing = 0;
        for (size_t r = 0; r < n; ++r)
            sharing += usable[r] && best[r] == best[m] ? 1 : 0;
        if (sharing > commonCount || (sharing == commonCount && best[m] < common)) {
            common = best[m];
            commonCount = sharing;
        }
    }
    std::vector<int64_t> checked = best;
    for (size_t m = 0; m < n; ++m) {
        if (!usable[m] || best[m] == common)
            continue;
        double evidence = 0.0;
        for (size_t r = 0; r < n; ++r)
            if (both(m, r) && best[r] == common)
                evidence += support(m, best[m], r, common) * 0.5;
        if (!(evidence > StartEvidence))
            checked[m] = common;
    }
    if (undetermined) {
        // A start is told where a match clearer than its rival placings ties
        // the take to the others at the places found. Takes so tied form
        // groups; the group that holds the most takes at the common start
        // (then the largest) is where the grid is, and its takes' starts
        // are told, when it holds more than half of the takes: two groups
        // each consistent in itself, with nothing clear between them, could
        // each be where the grid is. Any other take's start is not told: a
        // take tied only to another that came in as late as itself says
        // nothing about the grid.
        std::vector<size_t> group(n);
        for (size_t m = 0; m < n; ++m)
            group[m] = m;
        const auto root = [&group](size_t m) {
            while (group[m] != m)
                m = group[m] = group[group[m]];
            return m;
        };
        const auto tied = [&](size_t m, size_t r) {
            return (pair[m][r].comparable && !pair[m][r].ambiguous && pair[m][r].shift == checked[m] - checked[r]) ||
                   (pair[r][m].comparable && !pair[r][m].ambiguous && pair[r][m].shift == checked[r] - checked[m]);
        };
        for (size_t m = 0; m < n; ++m)
            for (size_t r = m + 1; r < n; ++r)
                if (both(m, r) && tied(m, r))
                    group[root(m)] = root(r);
        std::vector<size_t> size(n, 0), atCommon(n, 0);
        size_t usableTakes = 0;
        for (size_t m = 0; m < n; ++m) {
            if (!usable[m])
                continue;
            ++usableTakes;
            ++size[root(m)];
            atCommon[root(m)] += checked[m] == common ? 1 : 0;
        }
        size_t reference = n;
        for (size_t g = 0; g < n; ++g) {
            if (size[g] < 2 || size[g] * 2 <= usableTakes)
                continue;
            if (reference == n || atCommon[g] > atCommon[reference] ||
                (atCommon[g] == atCommon[reference] && size[g] > size[reference]))
                reference = g;
        }
        undetermined->assign(n, false);
        for (size_t m = 0; m < n; ++m)
            (*undetermined)[m] = usable[m] && (reference == n || root(m) != reference);
    }
    return checked;
}

}  // namespace tap_analysis
