#include "TapReading.h"

#include <algorithm>
#include <cmath>

#include "BeatSmoothing.h"
#include "RobustStatistics.h"

namespace tap_analysis {

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
// What a reading against a consensus pays for a span that is not the grid's
// beats between its two taps (Read).
constexpr double GridPrice = 10.0;
// Intervals each side that give a tap its local tempo when a take is read
// on its own.
constexpr int LocalWindow = 7;
// An interval is k beats (k - 1 missed taps) only when it is at least
// k - MissedSlack beats long: a missed tap leaves two whole beats, which
// jitter shortens by far less than a quarter; an extra tap lies within
// ExtraCloseness of a beat from its neighbour.
constexpr double MissedSlack = 0.25;
constexpr double ExtraCloseness = 0.6;
// Alone, an interval is taken for missed beats only when the intervals on
// either side are at most this share longer than a beat: holds come at the
// end of a broadening.
constexpr double AloneBroadening = 0.1;
// A take read on its own needs this many taps to judge its own tempo.
constexpr size_t MinTapsAlone = 6;

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

}  // namespace

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
                double score = best[a] + r * r / (2.0 * variance) + ExtraPrice * e + MissedPrice * (k - 1);
                // Against a consensus, a reading that counts other beats
                // between two taps than the grid puts between them pays for
                // it: the intervals alone cannot tell a double tap kept as
                // a beat (one interval far too short, every later tap a beat
                // off) from the dropped tap it is once the scatter's limit
                // caps what the short interval costs.
                if (expect.consensus && expect.gridBeat[c] - expect.gridBeat[a] != k)
                    score += GridPrice;
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

namespace {

// The stretch around a finding: up to this many clean one-beat intervals on
// each side, and at least MinClearContext in all.
constexpr size_t ClearContext = 8;
constexpr size_t MinClearContext = 6;
// Steady: the intervals around scatter by at most this share of a beat, and
// the tempo before and after differs by at most SteadyChange. Expressive
// music bends its tempo by about 6 % from beat to beat: such stretches give
// no missed or extra findings from one take.
constexpr double SteadyScatter = 0.05;
constexpr double SteadyChange = 0.05;
// A double tap (the second tap within DoubleTapShare of a beat of the first)
// is no musical beat, which is at least half a beat long: it is believed
// where the intervals around scatter up to NoisySteadyScatter, as the taps
// of a careless tapper on fast music do.
constexpr double DoubleTapShare = 0.3;
constexpr double NoisySteadyScatter = 0.12;
// A tap this close to the one before or after it (a share of the interval
// they split) is a double tap in any music: no piece has beats that short
// beside beats of full length, and a hand that stumbles stays above a fifth
// of its beat.
constexpr double FlamShare = 0.15;
// How near whole beats a one-beat interval must lie: 2.5 times the take's
// relative scatter around its local tempo, within these bounds.
constexpr double ClearFactor = 2.5;
constexpr double MinClearTolerance = 0.04;
constexpr double MaxClearTolerance = 0.12;
// An interval of k beats (k - 1 missed taps) carries the errors of its two
// end taps, as one beat does, and with errors correlated about 0.5 from tap
// to tap its spread is about 1.22 times a beat's: its distance from k whole
// beats is held to SpanNoise times a beat's tolerance, and never more than
// MaxSpanShare of its length. A held beat of expressive music (1.5 to 1.9
// beats) rarely comes within a few per cent of two whole beats.
constexpr double SpanNoise = 1.22;
constexpr double MaxSpanShare = 0.03;
// In a steady take, where the scatter is the tapper's own: missed taps in
// stretches scattering up to SteadyTakeScatter, and up to
// SteadyTakeSpanShare from whole beats.
constexpr double SteadyTakeScatter = 0.08;
constexpr double SteadyTakeSpanShare = 0.05;
// A lone take is expressive where its beats' own changes from one to the next
// have more than ExpressiveTake times the variance of its tapping noise (more
// than 3.5 times its deviation), steady below SteadyTake (within 2.4 times),
// measured on at least SteadyTakeBeats taps. Measured on generated takes:
// steady music tapped with 10 to 30 ms of noise at most 7 and below 6 in 19
// of 20, expressive music at least 29.
constexpr double ExpressiveTake = 12.0;
constexpr double SteadyTake = 6.0;
constexpr size_t SteadyTakeBeats = 32;

enum class LoneTiming { Ordinary, Steady, Expressive };

LoneTiming TimingOf(const Take& take)
{
    const std::vector<double> times(take.begin(), take.end());
    const double expression = LoneTakeExpression(times);
    if (expression > ExpressiveTake)
        return LoneTiming::Expressive;
    return times.size() >= SteadyTakeBeats && expression < SteadyTake ? LoneTiming::Steady : LoneTiming::Ordinary;
}

// Whether the interval from kept tap `a` to kept tap `c`, read as `k` beats,
// is clearly k beats in a steady stretch. `clean[p]` is the length of the
// one-beat interval starting at kept position p (0 where there is none).
bool ClearlyBeats(const std::vector<double>& clean, size_t pa, size_t pc, double interval, int k, double steadyLimit,
                  double spanShare)
{
    std::vector<double> before, after;
    for (size_t p = pa; p > 0 && before.size() < ClearContext; --p)
        if (clean[p - 1] > 0.0)
            before.push_back(clean[p - 1]);
    for (size_t p = pc; p < clean.size() && after.size() < ClearContext; ++p)
        if (clean[p] > 0.0)
            after.push_back(clean[p]);
    std::vector<double> all(before);
    all.insert(all.end(), after.begin(), after.end());
    if (all.size() < MinClearContext)
        return false;
    std::vector<double> scratch(all);
    const double beat = Median(scratch);
    if (!(beat > 0.0))
        return false;
    std::vector<double> relative;
    for (double x : all)
        relative.push_back(x / beat - 1.0);
    const double scatter = RobustScale(relative);
    if (scatter > steadyLimit)
        return false;
    if (before.size() >= 3 && after.size() >= 3) {
        const double early = Median(before);
        const double late = Median(after);
        if (std::fabs(early - late) > SteadyChange * beat)
            return false;
    }
    const double tolerance = std::clamp(ClearFactor * scatter, MinClearTolerance, MaxClearTolerance);
    if (k == 1)
        return std::fabs(interval / beat - 1.0) <= tolerance;
    const double spanTolerance = std::min(SpanNoise * tolerance, spanShare * static_cast<double>(k));
    return std::fabs(interval / beat - static_cast<double>(k)) <= spanTolerance;
}

}  // namespace

Reading KeepClearFindingsAlone(const Take& take, const Reading& reading)
{
    if (reading.findings.empty())
        return reading;
    const LoneTiming timing = TimingOf(take);
    const bool expressive = timing == LoneTiming::Expressive;
    const bool steady = timing == LoneTiming::Steady;
    const double missedScatter = steady ? SteadyTakeScatter : SteadyScatter;
    const double spanShare = steady ? SteadyTakeSpanShare : MaxSpanShare;
    const size_t n = take.size();
    std::vector<size_t> kept;
    std::vector<size_t> positionOf(n, n);
    for (size_t i = 0; i < n; ++i)
        if (reading.beat[i] >= 0) {
            positionOf[i] = kept.size();
            kept.push_back(i);
        }
    std::vector<double> clean(kept.size(), 0.0);
    for (size_t p = 0; p + 1 < kept.size(); ++p)
        if (kept[p + 1] == kept[p] + 1 && reading.beat[kept[p + 1]] == reading.beat[kept[p]] + 1)
            clean[p] = Interval(take, kept[p], kept[p + 1]);

    std::vector<int> missedAfter(n, 0);
    std::vector<bool> extra(n, false);
    for (const Finding& f : reading.findings) {
        const size_t tap = static_cast<size_t>(f.Tap);
        if (f.Kind == FindingKind::Missed) {
            const size_t pa = positionOf[tap];
            if (!expressive && pa + 1 < kept.size() &&
                ClearlyBeats(clean, pa, pa + 1, Interval(take, tap, kept[pa + 1]), f.Beats + 1, missedScatter, spanShare))
                missedAfter[tap] = f.Beats;
            continue;
        }
        // An extra tap: between the kept taps around it, or after the last
        // one (taps that went on too soon after the end), which the reading
        // only drops where they came far too soon to be beats.
        size_t pa = kept.size();
        for (size_t p = 0; p < kept.size() && kept[p] < tap; ++p)
            pa = p;
        if (pa == kept.size())
            continue;
        if (pa + 1 >= kept.size())
            extra[tap] = true;
        else {
            const double whole = Interval(take, kept[pa], kept[pa + 1]);
            const double near = std::min(Interval(take, kept[pa], tap), Interval(take, tap, kept[pa + 1]));
            const bool doubleTap = near < DoubleTapShare * whole;
            const double limit = doubleTap ? NoisySteadyScatter : SteadyScatter;
            if (near < FlamShare * whole ||
                ((doubleTap || !expressive) && ClearlyBeats(clean, pa, pa + 1, whole, 1, limit, MaxSpanShare)))
                extra[tap] = true;
        }
    }

    Reading clear;
    clear.beat.assign(n, -1);
    int64_t beat = 0;
    for (size_t i = 0; i < n; ++i) {
        if (extra[i]) {
            clear.findings.push_back(Finding{FindingKind::Extra, static_cast<int64_t>(i), 1});
            continue;
        }
        clear.beat[i] = beat;
        if (missedAfter[i] > 0)
            clear.findings.push_back(Finding{FindingKind::Missed, static_cast<int64_t>(i), missedAfter[i]});
        beat += 1 + missedAfter[i];
    }
    return clear;
}

}  // namespace tap_analysis
