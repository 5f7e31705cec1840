#include "StartMatching.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

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
// The elastic matching (ElasticCosts): what pairing one interval with two
// costs beyond its mismatch (a quarter of the cap on a mismatch, so a slip
// that explains an interval of two beats is cheaper than leaving it
// unexplained), and how many such steps each way an alignment may take.
constexpr double BreakCost = 0.01;
// Only where the pair fits as one: the sum within about a tenth.
constexpr double BreakFit = 0.05 * 0.05;
constexpr int MaxBreaks = 3;

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

// Each entry's mismatch against the other opening at every shift:
// costs[s + MaxStartShift][b] for entry b of `late`, -1 where it has no
// counterpart or is passed over.
using ShiftCosts = std::vector<std::vector<double>>;

// The mismatch of two lengths: their relative difference squared, capped,
// so that a slip left in a reading weighs no more than a large deviation.
double Mismatch(double x, double y)
{
    constexpr double Cap = 0.2 * 0.2;
    const double q = (x - y) / (x + y);
    return std::min(q * q, Cap);
}

// Beat b of `late` against beat b + s of `early`, at every shift s, with
// the openings allowed to come apart and rejoin: from its start at shift s,
// the alignment may pair one interval of `late` with two
// of `early` (a tap `late` missed, or an extra one of `early`) or two of
// `late` with one of `early` (the other way round), each at BreakCost on
// top of the pair's mismatch. A tap missed early in one take then no longer
// moves the rest of its opening by a beat, which in music whose beats
// change smoothly fits nearly as well as the true placing and was taken for
// a late start. Each shift's alignment is the cheapest (a dynamic
// programme over the entries of `late` and up to MaxBreaks offsets each
// way); an interval paired with two gets the pair's cost, two paired with
// one share it.
ShiftCosts ElasticCosts(const std::vector<double>& late, const std::vector<double>& early)
{
    const size_t opening = std::min(late.size(), StartOpening);
    const int64_t lateSize = static_cast<int64_t>(opening);
    const int64_t earlySize = static_cast<int64_t>(early.size());
    constexpr int offsets = 2 * MaxBreaks + 1;
    ShiftCosts costs(2 * MaxStartShift + 1, std::vector<double>(opening, -1.0));
    // total[i][o]: the least cost of an alignment through entry i of `late`
    // at offset o - MaxBreaks; move[i][o]: how it got there (0 none, 1 one
    // to one, 2 one to two, 3 two to one).
    std::vector<double> total(static_cast<size_t>((lateSize + 1) * offsets));
    std::vector<uint8_t> move(total.size());
    const auto at = [&](int64_t i, int o) { return static_cast<size_t>(i * offsets + o); };
    const auto cost = [](double x, double y) { return x > 0.0 && y > 0.0 ? Mismatch(x, y) : 0.0; };
    for (int s = -MaxStartShift; s <= MaxStartShift; ++s) {
        std::fill(total.begin(), total.end(), Infinity);
        std::fill(move.begin(), move.end(), uint8_t{0});
        const int64_t first = s < 0 ? -s : 0;
        if (first >= lateSize)
            continue;
        total[at(first, MaxBreaks)] = 0.0;
        // The cheapest place to stop: where `late` or `early` runs out.
        double bestEnd = Infinity;
        int64_t endI = -1;
        int endO = 0;
        for (int64_t i = first; i <= lateSize; ++i)
            for (int o = 0; o < offsets; ++o) {
                const double here = total[at(i, o)];
                if (here == Infinity)
                    continue;
                const int64_t j = i + s + (o - MaxBreaks);
                if (i == lateSize || j >= earlySize) {
                    if (here < bestEnd) {
                        bestEnd = here;
                        endI = i;
                        endO = o;
                    }
                    continue;
                }
                const auto relax = [&](int64_t ni, int no, double c, uint8_t m) {
                    if (c < total[at(ni, no)]) {
                        total[at(ni, no)] = c;
                        move[at(ni, no)] = m;
                    }
                };
                const size_t li = static_cast<size_t>(i);
                const size_t ej = static_cast<size_t>(j);
                relax(i + 1, o, here + cost(late[li], early[ej]), 1);
                if (o + 1 < offsets && j + 1 < earlySize && late[li] > 0.0 && early[ej] > 0.0 && early[ej + 1] > 0.0) {
                    const double c = Mismatch(late[li], early[ej] + early[ej + 1]);
                    if (c <= BreakFit)
                        relax(i + 1, o + 1, here + c + BreakCost, 2);
                }
                if (o > 0 && i + 1 < lateSize && late[li] > 0.0 && late[li + 1] > 0.0 && early[ej] > 0.0) {
                    const double c = Mismatch(late[li] + late[li + 1], early[ej]);
                    if (c <= BreakFit)
                        relax(i + 2, o - 1, here + c + BreakCost, 3);
                }
            }
        if (endI < 0)
            continue;
        // Back from the end, each entry given its share.
        std::vector<double>& row = costs[static_cast<size_t>(s + MaxStartShift)];
        int64_t i = endI;
        int o = endO;
        while (i > first) {
            const uint8_t m = move[at(i, o)];
            if (m == 1) {
                const int64_t j = i - 1 + s + (o - MaxBreaks);
                const size_t li = static_cast<size_t>(i - 1);
                if (late[li] > 0.0 && early[static_cast<size_t>(j)] > 0.0)
                    row[li] = total[at(i, o)] - total[at(i - 1, o)];
                i -= 1;
            } else if (m == 2) {
                row[static_cast<size_t>(i - 1)] = total[at(i, o)] - total[at(i - 1, o - 1)];
                i -= 1;
                o -= 1;
            } else {
                const double share = (total[at(i, o)] - total[at(i - 2, o + 1)]) / 2.0;
                row[static_cast<size_t>(i - 1)] = share;
                row[static_cast<size_t>(i - 2)] = share;
                i -= 2;
                o += 1;
            }
        }
    }
    return costs;
}

// How one take's opening matches another's, from each entry's mismatch at
// every shift: the best shift, and the squared t of the paired improvement
// over shift 0, entry by entry (when the best is 0, of 0 over the best
// other shift).
StartMatch Decide(const ShiftCosts& costs)
{
    double bestMean = Infinity;
    int bestShift = 0;
    double zeroMean = Infinity;
    double otherMean = Infinity;  // the best shift other than 0
    int otherShift = 0;
    std::vector<double> means(2 * MaxStartShift + 1, Infinity);
    for (int s = -MaxStartShift; s <= MaxStartShift; ++s) {
        const std::vector<double>& row = costs[static_cast<size_t>(s + MaxStartShift)];
        double sum = 0.0;
        size_t count = 0;
        for (const double c : row)
            if (c >= 0.0) {
                sum += c;
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
        const std::vector<double>& a = costs[static_cast<size_t>(from + MaxStartShift)];
        const std::vector<double>& b = costs[static_cast<size_t>(to + MaxStartShift)];
        double sum = 0.0;
        double sumSquares = 0.0;
        size_t count = 0;
        for (size_t k = 0; k < a.size(); ++k) {
            if (a[k] < 0.0 || b[k] < 0.0)
                continue;
            const double d = a[k] - b[k];
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
    bool found = false;
    size_t previous = 0;
    for (size_t i = 1; i < take.size(); ++i) {
        if (reading.beat[i] < 0) {
            if (!found)
                firstWhole = opening.Whole.size();
            found = true;
            continue;
        }
        if (reading.beat[i] - reading.beat[previous] != 1 && !found) {
            firstWhole = opening.Whole.size();
            found = true;
        }
        opening.Whole.push_back(Interval(take, previous, i));
        previous = i;
    }
    if (found && firstWhole >= 2 * MinStartOverlap)
        opening.Whole.resize(firstWhole);
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
                pair[m][r] = Decide(ElasticCosts(openings[m].Whole, openings[r].Whole));
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
