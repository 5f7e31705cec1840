#include "TapAnalysis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

// One interval may span up to MaxSpan beats (two missed taps in a row), and
// up to MaxDropped extra taps may lie between two kept taps.
constexpr int MaxSpan = 3;
constexpr int MaxDropped = 2;
// The price of a finding, in the units of the score: half a squared
// deviation in units of the take's scatter. 25 is the cost of a deviation of
// seven times the scatter, so an interval becomes a missed tap only where two
// beats explain it far better than one, and one tap far off its beat (which
// human tapping gives once in a hundred taps) stays a tap.
constexpr double MissedPrice = 25.0;
constexpr double ExtraPrice = 25.0;
// Intervals each side that give a tap its local tempo when a take is read
// on its own.
constexpr int LocalWindow = 7;
// How far a beat's expected length itself is uncertain, as a share of it:
// a take's own local tempo lags behind rubato; a consensus is closer.
constexpr double OwnTempoTolerance = 0.05;
// An interval is k beats (k - 1 missed taps) only when it is at least
// k - MissedSlack beats long: a missed tap leaves two whole beats, which
// jitter shortens by far less than a quarter; an extra tap lies within
// ExtraCloseness of a beat from its neighbour.
constexpr double MissedSlack = 0.25;
constexpr double ExtraCloseness = 0.6;
constexpr double AloneBroadening = 0.1;
constexpr int ConsensusRounds = 1;
// How far the clock that sets a take against the consensus grid may move
// from one tap to the next, in milliseconds.
constexpr double ClockStep = 8.0;
constexpr double ConsensusTolerance = 0.03;
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
// A take read on its own needs this many taps to judge its own tempo.
constexpr size_t MinTapsAlone = 6;
// An outlier lies this many times the take's own scatter off the line
// between its neighbours, and at least this share of a beat.
constexpr double OutlierSigmas = 8.0;
constexpr double OutlierBeatShare = 0.15;

constexpr double Infinity = std::numeric_limits<double>::infinity();

// The median of v (v is reordered); 0 when empty.
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

// A robust spread: the median absolute value scaled to a normal standard
// deviation.
double RobustScale(std::vector<double>& deviations)
{
    for (double& d : deviations)
        d = std::fabs(d);
    return 1.4826 * Median(deviations);
}

double Interval(const Take& take, size_t a, size_t c)
{
    return static_cast<double>(take[c]) - static_cast<double>(take[a]);
}

// What a take is read against: the expected length of k beats from tap a.
// Alone, k times the take's local tempo at a; against a consensus, the
// consensus beats from the grid beat nearest tap a.
// The time of grid beat b on a consensus grid, the grid's first and last
// beat lengths carried on before and after it (taps of a take that started
// early, or went on after the others stopped, lie there).
double GridTime(const std::vector<double>& g, int64_t b)
{
    const int64_t last = static_cast<int64_t>(g.size()) - 1;
    if (last < 1)
        return 500.0 * static_cast<double>(b);
    if (b < 0)
        return g[0] + (g[1] - g[0]) * static_cast<double>(b);
    if (b > last)
        return g[static_cast<size_t>(last)] +
               (g[static_cast<size_t>(last)] - g[static_cast<size_t>(last - 1)]) * static_cast<double>(b - last);
    return g[static_cast<size_t>(b)];
}

struct Expectation {
    bool consensus = false;
    double tolerance = OwnTempoTolerance;
    std::vector<double> period;     // alone: local beat length at every tap
    const std::vector<double>* grid = nullptr;  // consensus beat times
    std::vector<int64_t> gridBeat;  // consensus: grid beat nearest every tap

    // Expected length of k beats from tap a, and the length of one of them.
    double Span(size_t a, int k, double& beat) const
    {
        if (!consensus) {
            beat = period[a];
            return beat * k;
        }
        const int64_t j = gridBeat[a];
        const double span = GridTime(*grid, j + k) - GridTime(*grid, j);
        beat = span / k;
        return span;
    }
};

// The local tempo of every tap of a take read on its own: the median of the
// intervals within LocalWindow of it.
std::vector<double> LocalPeriods(const Take& take)
{
    const size_t n = take.size();
    std::vector<double> intervals(n - 1);
    for (size_t i = 0; i + 1 < n; ++i)
        intervals[i] = Interval(take, i, i + 1);
    // The window's intervals kept sorted as it slides: one removal and one
    // insertion per step.
    std::vector<double> periods(n);
    std::vector<double> sorted;
    size_t lo = 0;
    size_t hi = 0;  // window is intervals[lo, hi)
    for (size_t i = 0; i < n; ++i) {
        const size_t centre = std::min(i, n - 2);
        const size_t wantLo = centre >= LocalWindow ? centre - LocalWindow : 0;
        const size_t wantHi = std::min(n - 2, centre + LocalWindow) + 1;
        for (; hi < wantHi; ++hi)
            sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), intervals[hi]), intervals[hi]);
        for (; lo < wantLo; ++lo)
            sorted.erase(std::lower_bound(sorted.begin(), sorted.end(), intervals[lo]));
        const size_t mid = sorted.size() / 2;
        periods[i] = sorted.size() % 2 == 1 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) * 0.5;
    }
    return periods;
}

// One reading of a take: which taps are kept and on which beat, counted
// from the take's first tap.
struct Reading {
    std::vector<int64_t> beat;  // -1 for a dropped tap
    std::vector<Finding> findings;  // Missed and Extra, in tap order
};

// The take's own scatter around what is expected of it: the robust spread
// of its intervals' deviations from one expected beat each. `one` holds the
// expected length of the beat from every tap.
double Scatter(const Take& take, const std::vector<double>& one)
{
    std::vector<double> deviations;
    deviations.reserve(take.size());
    for (size_t i = 0; i + 1 < take.size(); ++i)
        deviations.push_back(Interval(take, i, i + 1) - one[i]);
    const double scale = RobustScale(deviations);
    std::vector<double> beats(one.begin(), one.end() - 1);
    const double typical = Median(beats);
    // Never below a few milliseconds (a clock's resolution), never so wide
    // that half a beat looks like jitter.
    return std::clamp(scale, 4.0, std::max(4.0, 0.12 * typical));
}

// Alone, a take cannot tell a held beat (a fermata) from a missed tap by its
// length. An interval counts as k beats only when it is nearly k whole beats
// long and the music around it does not slow into it: holds come at the end
// of a broadening, a missed tap in the flow.
bool LooksMissedAlone(const Take& take, size_t a, size_t c, int k, double beat)
{
    if (Interval(take, a, c) < (k - MissedSlack) * beat)
        return false;
    const double limit = (1.0 + AloneBroadening) * beat;
    if (a >= 1 && Interval(take, a - 1, a) > limit)
        return false;
    return !(c + 1 < take.size() && Interval(take, c, c + 1) > limit);
}

// Taps between kept taps a and c may be dropped as extra only when each
// lies close to a kept neighbour or to another dropped tap: a tap in the
// middle of its beat is jitter or an outlier, not an extra tap.
bool CloseToNeighbour(const Take& take, size_t a, size_t c, double beat)
{
    for (size_t d = a + 1; d < c; ++d) {
        const double before = Interval(take, d - 1, d);
        const double after = Interval(take, d, d + 1);
        if (!(std::min(before, after) < ExtraCloseness * beat))
            return false;
    }
    return true;
}

// The dynamic programme: best[c] is the lowest score of a reading of taps
// 0..c that keeps tap c. The first tap is always kept; a reading may end
// with dropped taps only where they follow the last kept tap closely.
Reading Read(const Take& take, const Expectation& expect)
{
    const size_t n = take.size();
    std::vector<double> one(n);  // expected length of the beat from each tap
    for (size_t a = 0; a < n; ++a) {
        double beat = 0.0;
        one[a] = expect.Span(a, 1, beat);
    }
    const double sigma = Scatter(take, one);
    const double sigma2 = sigma * sigma;
    std::vector<double> best(n, Infinity);
    std::vector<int> fromDropped(n, 0);  // taps dropped before c
    std::vector<int> span(n, 1);         // beats from the previous kept tap
    best[0] = 0.0;
    for (size_t c = 1; c < n; ++c) {
        for (int e = 0; e <= MaxDropped; ++e) {
            if (c < static_cast<size_t>(e) + 1)
                break;
            const size_t a = c - 1 - static_cast<size_t>(e);
            if (best[a] == Infinity)
                continue;
            const double length = Interval(take, a, c);
            if (e > 0 && !CloseToNeighbour(take, a, c, one[a]))
                continue;
            // A tap dropped where a beat is missing would be a tap merely
            // far off its beat: one or the other, never both at once.
            for (int k = 1; k <= (e == 0 ? MaxSpan : 1); ++k) {
                // Spans far longer than the interval cannot win; they are
                // not scored.
                if (k > 1 && length < (k - 0.6) * one[a])
                    break;
                double beat = one[a];
                const double expected = k == 1 ? one[a] : expect.Span(a, k, beat);
                // Alone, a take cannot tell a held beat from a missed tap by
                // its tempo: only an interval of nearly k whole beats is
                // taken as k of them.
                if (k > 1 && (expect.consensus ? length < (k - MissedSlack) * beat
                                               : !LooksMissedAlone(take, a, c, k, beat)))
                    continue;
                const double tolerance = expect.tolerance * beat;
                const double variance = sigma2 * k + tolerance * tolerance;
                const double r = length - expected;
                const double score = best[a] + r * r / (2.0 * variance) + ExtraPrice * e + MissedPrice * (k - 1);
                if (score < best[c]) {
                    best[c] = score;
                    fromDropped[c] = e;
                    span[c] = k;
                }
            }
        }
    }
    // The end: the last tap, or a kept tap followed by up to MaxDropped taps
    // that came too soon after it to be a beat of their own.
    size_t end = n - 1;
    double endScore = best[n - 1];
    for (int e = 1; e <= MaxDropped && static_cast<size_t>(e) < n; ++e) {
        const size_t c = n - 1 - static_cast<size_t>(e);
        if (best[c] == Infinity || !(Interval(take, c, n - 1) < 0.5 * one[c]))
            continue;
        const double score = best[c] + ExtraPrice * e;
        if (score < endScore) {
            endScore = score;
            end = c;
        }
    }

    Reading reading;
    reading.beat.assign(n, -1);
    std::vector<size_t> kept;
    for (size_t c = end;;) {
        kept.push_back(c);
        if (c == 0)
            break;
        c = c - 1 - static_cast<size_t>(fromDropped[c]);
    }
    std::reverse(kept.begin(), kept.end());
    int64_t beat = 0;
    reading.beat[0] = 0;
    for (size_t i = 1; i < kept.size(); ++i) {
        const size_t a = kept[i - 1];
        const size_t c = kept[i];
        if (span[c] > 1)
            reading.findings.push_back(Finding{FindingKind::Missed, static_cast<int64_t>(a), span[c] - 1});
        for (size_t d = a + 1; d < c; ++d)
            reading.findings.push_back(Finding{FindingKind::Extra, static_cast<int64_t>(d), 1});
        beat += span[c];
        reading.beat[c] = beat;
    }
    for (size_t d = end + 1; d < n; ++d)
        reading.findings.push_back(Finding{FindingKind::Extra, static_cast<int64_t>(d), 1});
    return reading;
}

Reading ReadAlone(const Take& take)
{
    Reading reading;
    if (take.size() < MinTapsAlone) {
        reading.beat.resize(take.size());
        for (size_t i = 0; i < take.size(); ++i)
            reading.beat[i] = static_cast<int64_t>(i);
        return reading;
    }
    Expectation expect;
    expect.period = LocalPeriods(take);
    return Read(take, expect);
}

// A take's opening, for matching starts, read two ways. Up to its first
// finding both are its intervals, beat by beat; past a finding the reading
// may be wrong, so when the first finding leaves enough to compare, the
// opening ends there. When it comes early, the opening runs on:
// - Whole: an interval the reading took for k beats stays one entry, as a
//   held beat (a fermata) that one take's reading split and another's did
//   not is one interval in both;
// - ByBeat: it gives k entries of 0, which the matching passes over, so the
//   beats after a real missed tap stay in their places.
// The matching uses whichever of the two fits better.
struct Opening {
    std::vector<double> Whole;
    std::vector<double> ByBeat;
};

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
    return opening;
}

// How the opening of one take matches another's: the shift s at which beat
// b of `late` matches beat b + s of `early` best, and how strongly the
// evidence speaks for it (the squared t of the paired improvement over shift
// 0, beat by beat; 0 when s is 0). The comparison is of relative differences
// of the beat lengths, each capped, so that a slip left in a reading weighs
// no more than a large deviation.
struct StartMatch {
    bool comparable = false;
    int shift = 0;
    double evidence = 0.0;
    double fit = 0.0;  // the mean mismatch at the best shift
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
        return match;
    }
    if (!(bestMean < 0.7 * zeroMean))
        return match;
    match.shift = bestShift;
    match.evidence = evidence(0, bestShift);
    if (!(match.evidence > 0.0))
        match.shift = 0;
    return match;
}

// The starts of all takes relative to each other, from the matches of every
// pair. Each take in turn is tried as the anchor: every other take is placed
// by its significant match with the anchor (at the anchor's start
// otherwise), and the placing is improved take by take towards the start
// its matches with all the others speak for most. The placing that agrees
// with the most evidence over all pairs wins. A take that ends up away from
// the start most takes share stays there only when its matches with those
// takes together are significant.
std::vector<int64_t> MatchAllStarts(const std::vector<Opening>& openings, const std::vector<bool>& usable)
{
    const size_t n = openings.size();
    std::vector<std::vector<StartMatch>> pair(n, std::vector<StartMatch>(n));
    for (size_t m = 0; m < n; ++m)
        for (size_t r = 0; r < n; ++r)
            if (m != r && usable[m] && usable[r]) {
                const StartMatch whole = MatchStarts(openings[m].Whole, openings[r].Whole);
                const StartMatch byBeat = MatchStarts(openings[m].ByBeat, openings[r].ByBeat);
                pair[m][r] = !byBeat.comparable || (whole.comparable && whole.fit <= byBeat.fit) ? whole : byBeat;
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
    return checked;
}

// The robust average of one beat's lengths over the takes: the mean of the
// middle values, the outer fifth (at least one) on each side set aside from
// three values on.
double RobustMean(std::vector<double>& values)
{
    const size_t n = values.size();
    if (n == 0)
        return 0.0;
    size_t trim = 0;
    if (n >= 3) {
        trim = std::max<size_t>(1, n / 5);
        std::sort(values.begin(), values.end());
    }
    double sum = 0.0;
    for (size_t i = trim; i < n - trim; ++i)
        sum += values[i];
    return sum / static_cast<double>(n - 2 * trim);
}

// Consensus beat lengths over the grid from the readings: the robust mean
// of the single-beat intervals each grid beat has; a beat that no take holds
// on its own (one take's missed beat) is interpolated between the nearest
// beats that have lengths.
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

// A long interval that one take's reading split into beats (a missed tap)
// is music when most of the other takes covering it hold no tap inside it
// either (a fermata, a held beat): such findings are taken back, the long
// interval counting as one beat again. The takes are compared on the common
// clock, so a slip misread elsewhere in a take does not matter here.
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

// Outliers: kept taps between two kept single-beat neighbours that lie far
// off the line between them (the line split in the consensus' proportions).
void FindOutliers(const Take& take, const TakeAnalysis& result, const std::vector<double>& lengths,
                  std::vector<Finding>& outliers)
{
    struct Candidate {
        size_t tap;
        double offBy;
        double beat;
    };
    std::vector<Candidate> candidates;
    const std::vector<int64_t>& beat = result.BeatOfTap;
    const auto lengthOf = [&](int64_t j) {
        return j >= 0 && j < static_cast<int64_t>(lengths.size()) ? lengths[static_cast<size_t>(j)] : 0.0;
    };
    size_t previous = take.size();
    size_t current = take.size();
    for (size_t i = 0; i < take.size(); ++i) {
        if (beat[i] == ExtraTap)
            continue;
        if (previous < take.size() && beat[current] == beat[previous] + 1 && beat[i] == beat[current] + 1) {
            const double before = lengthOf(beat[previous]);
            const double after = lengthOf(beat[current]);
            if (before > 0.0 && after > 0.0) {
                const double expected = static_cast<double>(take[previous]) +
                                        Interval(take, previous, i) * (before / (before + after));
                candidates.push_back(Candidate{current, static_cast<double>(take[current]) - expected,
                                               (before + after) * 0.5});
            }
        }
        previous = current;
        current = i;
    }
    if (candidates.size() < 8)
        return;
    std::vector<double> deviations;
    for (const Candidate& c : candidates)
        deviations.push_back(c.offBy);
    const double scale = RobustScale(deviations);
    for (const Candidate& c : candidates)
        if (std::fabs(c.offBy) > std::max(OutlierSigmas * scale, OutlierBeatShare * c.beat))
            outliers.push_back(Finding{FindingKind::Outlier, static_cast<int64_t>(c.tap), 1});
}

bool TapOrder(const Finding& a, const Finding& b)
{
    if ((a.Kind == FindingKind::Start) != (b.Kind == FindingKind::Start))
        return a.Kind == FindingKind::Start;
    return a.Tap < b.Tap;
}

}  // namespace

const char* FindingKindName(FindingKind kind)
{
    switch (kind) {
    case FindingKind::Missed:
        return "missed";
    case FindingKind::Extra:
        return "extra";
    case FindingKind::Start:
        return "start";
    case FindingKind::Outlier:
        return "outlier";
    }
    return "?";
}

Analysis AnalyzeTakes(const TakeList& takes)
{
    const size_t count = takes.size();
    Analysis analysis;
    analysis.Takes.resize(count);

    // Each take on its own.
    std::vector<Reading> readings(count);
    std::vector<bool> usable(count, false);
    size_t usableCount = 0;
    for (size_t m = 0; m < count; ++m) {
        if (takes[m]->size() < 2)
            continue;
        usable[m] = true;
        ++usableCount;
        readings[m] = ReadAlone(*takes[m]);
    }

    // Starts: the takes' openings matched pair by pair.
    std::vector<int64_t> starts(count, 0);
    if (usableCount >= 2) {
        std::vector<Opening> openings(count);
        for (size_t m = 0; m < count; ++m)
            if (usable[m])
                openings[m] = OpeningLengths(*takes[m], readings[m]);
        starts = MatchAllStarts(openings, usable);
        // The grid starts at the earliest start two takes share: coming in
        // late is common, a tap before the music is not, so one take alone
        // starting earlier than the rest started early. When no two takes
        // share a start, the earliest is the grid's.
        std::vector<int64_t> order;
        for (size_t m = 0; m < count; ++m)
            if (usable[m])
                order.push_back(starts[m]);
        std::sort(order.begin(), order.end());
        int64_t origin = order.front();
        for (size_t i = 0; i + 1 < order.size(); ++i)
            if (order[i] == order[i + 1]) {
                origin = order[i];
                break;
            }
        for (size_t m = 0; m < count; ++m)
            if (usable[m])
                starts[m] -= origin;
        KeepSharedLongBeats(takes, readings, starts);
    }

    int64_t beats = 0;  // grid beats: lengths, one fewer than beat times
    for (size_t m = 0; m < count; ++m)
        if (usable[m])
            beats = std::max(beats, starts[m] + *std::max_element(readings[m].beat.begin(), readings[m].beat.end()));

    // Every take again, against the consensus of all.
    for (int round = 0; round < ConsensusRounds && usableCount >= 2; ++round) {
        const std::vector<double> lengths = ConsensusLengths(takes, readings, starts, beats);
        const std::vector<double> grid = GridTimes(lengths);
        for (size_t m = 0; m < count; ++m) {
            if (!usable[m])
                continue;
            const Take& take = *takes[m];
            // Each tap's grid beat is the one nearest to it in time, once the
            // take's clock is set against the grid's. The clock is set by the
            // first tap (on the take's start beat) and then follows the taps'
            // offsets by at most ClockStep a tap, so it tracks a slow drift
            // but neither one tap far off nor a run of them.
            Expectation expect;
            expect.consensus = true;
            expect.tolerance = ConsensusTolerance;
            expect.grid = &grid;
            expect.gridBeat.resize(take.size());
            // The grid carried on past its ends, as far as this take
            // reaches.
            const int64_t lastBeat =
                static_cast<int64_t>(grid.size()) - 1 + static_cast<int64_t>(take.size());
            int64_t j = starts[m];
            double clock = static_cast<double>(take[0]) - GridTime(grid, j);
            for (size_t i = 0; i < take.size(); ++i) {
                const double at = static_cast<double>(take[i]) - clock;
                while (j + 1 <= lastBeat && GridTime(grid, j + 1) - at < at - GridTime(grid, j))
                    ++j;
                expect.gridBeat[i] = j;
                const double off = static_cast<double>(take[i]) - GridTime(grid, j) - clock;
                clock += std::clamp(off, -ClockStep, ClockStep);
            }
            readings[m] = Read(take, expect);
        }
        KeepSharedLongBeats(takes, readings, starts);
        beats = 0;
        for (size_t m = 0; m < count; ++m)
            if (usable[m])
                beats = std::max(beats,
                                 starts[m] + *std::max_element(readings[m].beat.begin(), readings[m].beat.end()));
    }

    analysis.BeatIntervals = ConsensusLengths(takes, readings, starts, std::max<int64_t>(beats, 0));
    // Where a tap is expected between its neighbours: from three takes on
    // the consensus, which one tap far off does not move; with fewer, the
    // beat lengths around it (a median of seven), as its own intervals
    // would put it exactly where it is.
    std::vector<double> expectedLengths = analysis.BeatIntervals;
    if (usableCount < 3) {
        std::vector<double> window;
        for (size_t j = 0; j < expectedLengths.size(); ++j) {
            const size_t lo = j >= 3 ? j - 3 : 0;
            const size_t hi = std::min(analysis.BeatIntervals.size(), j + 4);
            window.assign(analysis.BeatIntervals.begin() + static_cast<std::ptrdiff_t>(lo),
                          analysis.BeatIntervals.begin() + static_cast<std::ptrdiff_t>(hi));
            expectedLengths[j] = Median(window);
        }
    }
    for (size_t m = 0; m < count; ++m) {
        if (!usable[m])
            continue;
        TakeAnalysis& result = analysis.Takes[m];
        result.StartBeat = starts[m];
        result.BeatOfTap.resize(takes[m]->size());
        for (size_t i = 0; i < takes[m]->size(); ++i)
            result.BeatOfTap[i] = readings[m].beat[i] < 0 ? ExtraTap : starts[m] + readings[m].beat[i];
        if (starts[m] != 0)
            result.Findings.push_back(Finding{FindingKind::Start, starts[m], 1});
        result.Findings.insert(result.Findings.end(), readings[m].findings.begin(), readings[m].findings.end());
        FindOutliers(*takes[m], result, expectedLengths, result.Findings);
        std::stable_sort(result.Findings.begin(), result.Findings.end(), TapOrder);
    }
    return analysis;
}

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

std::vector<Take> RepairTakes(const TakeList& takes, const Analysis& analysis)
{
    std::vector<Take> repaired;
    repaired.reserve(takes.size());
    for (size_t m = 0; m < takes.size(); ++m)
        repaired.push_back(takes[m]->size() < 2 ? *takes[m] : RepairTake(takes, analysis, m));
    return repaired;
}

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

TapMonitor::TapMonitor(const TakeList& listed)
{
    TakeList usable;
    for (const Take* take : listed)
        if (take->size() >= 2)
            usable.push_back(take);
    if (usable.empty())
        return;
    const Analysis analysis = AnalyzeTakes(usable);
    consensus_ = GridTimes(analysis.BeatIntervals);
}

double TapMonitor::ExpectedInterval() const
{
    if (beat_ + 1 < static_cast<int64_t>(consensus_.size()))
        return consensus_[static_cast<size_t>(beat_ + 1)] - consensus_[static_cast<size_t>(beat_)];
    if (recent_.empty())
        return 0.0;
    std::vector<double> sorted(recent_);
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

TapMonitor::Feedback TapMonitor::Add(uint32_t time)
{
    Feedback feedback;
    ++taps_;
    feedback.Taps = taps_;
    if (taps_ == 1) {
        first_ = last_ = time;
        beat_ = 0;
        feedback.HasDeviation = !consensus_.empty();
        return feedback;
    }
    const double interval = static_cast<double>(time - last_);
    const double expected = ExpectedInterval();
    int64_t step = 1;
    if (expected > 0.0) {
        if (interval < 0.5 * expected) {
            feedback.Warn = Warning::Extra;
            step = 0;
        } else if (interval > 1.6 * expected) {
            feedback.Warn = Warning::Missed;
            step = static_cast<int64_t>(std::min(std::floor(interval / expected + 0.5), 1e6));
        }
    }
    // An extra tap belongs to no beat: the next interval is measured from the
    // beat's own tap, and the tap's lateness does not count into the take's.
    const bool extra = feedback.Warn == Warning::Extra;
    if (!extra)
        last_ = time;
    beat_ += step;
    if (step == 1) {
        recent_.push_back(interval);
        if (recent_.size() > 4)
            recent_.erase(recent_.begin());
    }
    if (!recent_.empty()) {
        double sum = 0.0;
        for (const double r : recent_)
            sum += r;
        const double mean = sum / static_cast<double>(recent_.size());
        feedback.Bpm = mean > 0.0 ? 60000.0 / mean : 0.0;
    }
    if (beat_ < static_cast<int64_t>(consensus_.size())) {
        const double since = static_cast<double>(time - first_);
        const double deviation = since - consensus_[static_cast<size_t>(beat_)];
        feedback.HasDeviation = true;
        feedback.DeviationMs = deviation - offset_;
        // Follow a steady lateness slowly, so the figure shows this tap's
        // deviation, not the take's whole drift.
        if (!extra)
            offset_ += (deviation - offset_) * 0.125;
    }
    return feedback;
}
