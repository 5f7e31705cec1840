#include "BeatSmoothing.h"

#include <algorithm>
#include <cmath>

#include "RobustStatistics.h"

namespace {

// Tap errors are correlated from one tap to the next (about 0.5 in human
// tapping), so the second difference of three noisy beat times has
// (6 - 8 rho + 2 rho^2) = 2.5 times the variance of one.
constexpr double SecondDifferenceNoise = 2.5;
// Changes of beat length beyond this many noise deviations are taken as the
// music's own (a fermata, a new section) and weigh less.
constexpr double LargeChange = 4.0;
// With the automatic strength no beat moves further than this many of its
// noise deviations.
constexpr double MaxMove = 2.5;
// Beats each side whose scatter between takes is pooled into one beat's
// noise.
constexpr size_t NoiseWindow = 8;
// A held beat's weight over its own: enough to pin the fit to it, far from
// what would upset the factorisation.
constexpr double HeldWeight = 1e8;

// Human tapping errs by about the same share of the beat at any tempo: the
// measured 23 ms per tap belong to beats of 595 ms (the median of the
// measured material), and the measured tappers erred by 10 to 30 ms there.
constexpr double TypicalBeatMs = 595.0;
constexpr double LeastTapNoiseMs = 10.0;
constexpr double MostTapNoiseMs = 30.0;
// Intervals each side that give a beat its local length when a lone take's
// noise is measured.
constexpr size_t LocalBeats = 7;
// Deviations beyond this many robust deviations (a held beat, a tap far off)
// are clipped before their covariances are taken.
constexpr double Clip = 3.0;

// A lone take's own model (SmoothLoneTake): the tap errors' correlation from
// one tap to the next; the least the music's own beat-to-beat changes and the
// tempo's drift per beat are taken as, in units of a tap's error variance (a
// take at one tempo is fitted nearly as a straight line, never exactly);
// where a term counts by its size rather than its square, in its deviations;
// the reweighted rounds; the fewest beats the model is measured on.
constexpr double TapCorrelation = 0.5;
constexpr double LeastOwnChange = 0.05;
constexpr double LeastDrift = 0.002;
// And the most: a take whose beats change by more than ten times its tapping
// noise is followed (nearly) tap by tap anyway, and variances further apart
// than this would leave the factorisation without precision.
constexpr double MostVariance = 100.0;
constexpr double HuberLimit = 3.0;
constexpr int LoneRounds = 6;
constexpr size_t LeastLoneBeats = 32;
// The spans (in beats) whose second differences measure a lone take's model.
constexpr size_t ModelSpans[] = {1, 2, 3, 4, 6, 8};
// A tap further from its fit than this many deviations of what its
// neighbours' errors predict is taken in only up to there; beyond
// SpikeDropped times as far, not at all (its neighbours say where it was).
// Taken in up to the limit, a tap 110 ms off still bent its neighbours by
// 15 ms.
constexpr double SpikeLimit = 2.5;
constexpr double SpikeDropped = 2.0;
constexpr double SpikeBalance = 0.5;
// The periods (in beats) a take's timing is searched for a pattern of its
// own in: bars of two, three and four, and phrases of two bars and more.
constexpr size_t PatternPeriods[] = {2, 3, 4, 6, 8, 12, 16};
// A pattern counts when its evidence stands this many deviations above
// what chance gives (PatternOf); among periods that count, each phase more
// costs this much of it.
constexpr double PatternEvidence = 3.0;
constexpr double PatternCost = 2.0;

// The noise per tap of a beat that only one take holds, as a variance,
// measured from the take itself. Its intervals' deviations from their local
// median are the music's changes plus the tapping error's. With tap errors
// correlated rho = 0.5 from tap to tap, the error's part of an interval has
// variance s^2 and covariance -(1 - rho)^2 / 2 s^2 = -s^2 / 4 with the next
// interval: the intervals of a tapper pull against each other, as a late tap
// makes one beat long and the next short. A musician's changes of tempo do
// not (a phrase broadens or hurries over several beats), so -4 times the
// lag-one covariance measures the tapping alone, and never more than the
// whole scatter. Where the music's own changes alternate, this reads them as
// music: the take is smoothed less, never more. Bounded by what human tapping
// shows, scaled to the tempo; a take too short to measure gets the typical
// 23 ms, scaled the same way.
//
// Beside it, what is left of the deviations' variance once the tapping's
// share is taken out: the music's own beat-to-beat changes.
struct LoneNoise {
    double tap = 0.0;    // variance of one tap's error
    double music = 0.0;  // variance of a beat length's change of the music's own, beyond its tempo; -1 unmeasured
};

// A take's median beat over the typical 595 ms, for beats shorter than
// that (1 for longer ones): human tapping errs by the same share of a beat.
double TempoShare(const std::vector<double>& times)
{
    std::vector<double> intervals;
    for (size_t i = 0; i + 1 < times.size(); ++i)
        intervals.push_back(times[i + 1] - times[i]);
    const double beat = Median(intervals);
    return beat > 0.0 && beat < TypicalBeatMs ? beat / TypicalBeatMs : 1.0;
}

LoneNoise MeasureLoneTake(const std::vector<double>& y)
{
    const size_t n = y.size();
    std::vector<double> intervals(n - 1);
    for (size_t i = 0; i + 1 < n; ++i)
        intervals[i] = y[i + 1] - y[i];
    const double tempo = TempoShare(y);
    double noise = TapNoiseMs * tempo;
    double whole = -1.0;
    if (n >= 2 * LocalBeats + 2) {
        std::vector<double> deviations;
        deviations.reserve(n - 1);
        std::vector<double> window;
        for (size_t i = 0; i + 1 < n; ++i) {
            const size_t lo = i >= LocalBeats ? i - LocalBeats : 0;
            const size_t hi = std::min(n - 2, i + LocalBeats);
            window.assign(intervals.begin() + static_cast<std::ptrdiff_t>(lo),
                          intervals.begin() + static_cast<std::ptrdiff_t>(hi) + 1);
            deviations.push_back(intervals[i] - Median(window));
        }
        std::vector<double> scratch(deviations);
        const double clip = Clip * RobustScale(scratch);
        double c0 = 0.0;
        double c1 = 0.0;
        for (size_t i = 0; i < deviations.size(); ++i) {
            const double d = std::clamp(deviations[i], -clip, clip);
            c0 += d * d;
            if (i + 1 < deviations.size())
                c1 += d * std::clamp(deviations[i + 1], -clip, clip);
        }
        c0 /= static_cast<double>(deviations.size());
        c1 /= static_cast<double>(deviations.size() - 1);
        noise = std::sqrt(std::clamp(-4.0 * c1, 0.0, c0));
        whole = c0;
    }
    noise = std::clamp(noise, LeastTapNoiseMs * tempo, MostTapNoiseMs);
    LoneNoise result;
    result.tap = noise * noise;
    result.music = whole < 0.0 ? -1.0 : whole - result.tap;
    return result;
}

double LoneTapNoise(const std::vector<double>& y)
{
    return MeasureLoneTake(y).tap;
}

}  // namespace

// What a lone take's smoothing model needs of it, measured from its taps at
// several spans at once. The second difference of beat times h beats apart,
// y_k+2h - 2 y_k+h + y_k, holds
//   - the tap errors: (6 - 8 rho^h + 2 rho^2h) times one tap's variance, as
//     errors h taps apart are correlated rho^h, so this part levels off;
//   - the music's own changes of beat length: 2 h of them, growing with h;
//   - the tempo's steps: (2 h^3 + h) / 3 of them (the step between beats t
//     and t+1 counts as often as the beats after it in the later span
//     outnumber those in the earlier), growing fastest.
// The three grow so differently that the variances at spans 1 to 8 tell
// them apart, where one span alone cannot: at span 1 a tap error and a
// change of the music's own look nearly alike, and a measure from the
// intervals' lag-one covariance read careful tappers as sloppier and sloppy
// ones as careful (on generated takes it put 26 ms tapping at 13 ms). Each
// span's variance is taken robustly (a median: a new section, a held beat
// or a tap far off moves it little) and the three variances are fitted to
// them by least squares on their relative errors, none negative.
LoneTakeModel MeasureLoneTakeModel(const std::vector<double>& y)
{
    constexpr size_t spans = sizeof(ModelSpans) / sizeof(ModelSpans[0]);
    double parts[spans][3];
    double measured[spans];
    size_t used = 0;
    const size_t n = y.size();
    std::vector<double> second;
    for (const size_t h : ModelSpans) {
        if (n < 2 * h + 16)
            break;
        second.clear();
        for (size_t k = 0; k + 2 * h < n; ++k)
            second.push_back(y[k + 2 * h] - 2.0 * y[k + h] + y[k]);
        const double scale = RobustScale(second);
        if (!(scale > 0.0))
            continue;
        double rh = 1.0;
        for (size_t i = 0; i < h; ++i)
            rh *= TapCorrelation;
        const double span = static_cast<double>(h);
        parts[used][0] = 6.0 - 8.0 * rh + 2.0 * rh * rh;
        parts[used][1] = 2.0 * span;
        parts[used][2] = (2.0 * span * span * span + span) / 3.0;
        measured[used] = scale * scale;
        ++used;
    }
    LoneTakeModel model;
    if (used < 3)
        return model;
    // Least squares over every subset of the three, kept only where none
    // comes out negative; the best fit of those wins.
    double best = -1.0;
    for (int subset = 1; subset < 8; ++subset) {
        size_t which[3];
        size_t k = 0;
        for (size_t j = 0; j < 3; ++j)
            if (subset & (1 << j))
                which[k++] = j;
        double m[3][3] = {};
        double b[3] = {};
        for (size_t r = 0; r < used; ++r) {
            const double w = 1.0 / (measured[r] * measured[r]);
            for (size_t a = 0; a < k; ++a) {
                b[a] += w * parts[r][which[a]] * measured[r];
                for (size_t c = 0; c < k; ++c)
                    m[a][c] += w * parts[r][which[a]] * parts[r][which[c]];
            }
        }
        bool solvable = true;
        for (size_t a = 0; a < k && solvable; ++a) {
            if (!(m[a][a] > 0.0)) {
                solvable = false;
                break;
            }
            for (size_t c = a + 1; c < k; ++c) {
                const double f = m[c][a] / m[a][a];
                for (size_t e = a; e < k; ++e)
                    m[c][e] -= f * m[a][e];
                b[c] -= f * b[a];
            }
        }
        if (!solvable)
            continue;
        double x[3] = {};
        for (size_t a = k; a-- > 0;) {
            double t = b[a];
            for (size_t c = a + 1; c < k; ++c)
                t -= m[a][c] * x[c];
            x[a] = t / m[a][a];
        }
        double full[3] = {};
        bool positive = true;
        for (size_t a = 0; a < k; ++a) {
            positive = positive && x[a] >= 0.0;
            full[which[a]] = x[a];
        }
        if (!positive)
            continue;
        double misfit = 0.0;
        for (size_t r = 0; r < used; ++r) {
            const double off = parts[r][0] * full[0] + parts[r][1] * full[1] + parts[r][2] * full[2] - measured[r];
            misfit += off * off / (measured[r] * measured[r]);
        }
        if (best < 0.0 || misfit < best) {
            best = misfit;
            model.tap = full[0];
            model.music = full[1];
            model.drift = full[2];
            model.measured = true;
        }
    }
    return model;
}

namespace {

// A pattern of timing a take repeats every `period` beats (a phrase's end
// broadened, a bar's beats of their own lengths): the mean departure from
// the tempo at each phase, shrunk towards none by how much of it chance
// explains (James and Stein's positive part, so a take without one gets
// next to nothing). `own`: each beat's departure from its tempo, clipped.
// `variance`: one departure's variance. Empty where no period's evidence
// stands PatternEvidence deviations above chance (its chi-square over its
// phases less one, in the deviations of that chi-square).
std::vector<double> PatternOf(const std::vector<double>& own, double variance)
{
    std::vector<double> best;
    double bestScore = 0.0;
    std::vector<double> sum, count, mean;
    for (const size_t period : PatternPeriods) {
        if (own.size() < 4 * period + 8)
            continue;
        sum.assign(period, 0.0);
        count.assign(period, 0.0);
        for (size_t k = 0; k < own.size(); ++k) {
            sum[k % period] += own[k];
            count[k % period] += 1.0;
        }
        double all = 0.0;
        for (const double s : sum)
            all += s;
        const double overall = all / static_cast<double>(own.size());
        mean.assign(period, 0.0);
        double evidence = 0.0;
        for (size_t c = 0; c < period; ++c) {
            mean[c] = sum[c] / count[c] - overall;
            evidence += count[c] * mean[c] * mean[c] / variance;
        }
        const double phases = static_cast<double>(period - 1);
        if ((evidence - phases) / std::sqrt(2.0 * phases) <= PatternEvidence)
            continue;
        const double score = evidence - PatternCost * phases;
        if (best.empty() || score > bestScore) {
            bestScore = score;
            const double shrink = 1.0 - phases / evidence;
            best = mean;
            for (double& m : best)
                m *= shrink;
        }
    }
    return best;
}

// The noise variance of every averaged beat time: the per-tap noise (from
// the takes' scatter where two or more hold the beat, else what one take
// shows of it) over the number of takes that hold it.
std::vector<double> NoiseVariances(const std::vector<double>& y, const TakeList& aligned)
{
    const size_t n = y.size();
    // Scatter of each beat length between the takes holding it.
    std::vector<double> scatter(n - 1, -1.0);
    for (size_t j = 0; j + 1 < n; ++j) {
        double sum = 0.0;
        double count = 0.0;
        for (const Take* take : aligned)
            if (take->size() > j + 1) {
                sum += static_cast<double>((*take)[j + 1]) - static_cast<double>((*take)[j]);
                count += 1.0;
            }
        if (count < 2.0)
            continue;
        const double mean = sum / count;
        double squares = 0.0;
        for (const Take* take : aligned)
            if (take->size() > j + 1) {
                const double d = static_cast<double>((*take)[j + 1]) - static_cast<double>((*take)[j]) - mean;
                squares += d * d;
            }
        scatter[j] = squares / (count - 1.0);
    }
    // The scatter of one beat from five takes is itself noisy: pool it with
    // its neighbours (a median, so one slip does not dominate). With errors
    // correlated about 0.5 from tap to tap, a beat length varies about as
    // much as one tap.
    // A beat only one of several takes holds (where the others stopped) is
    // given the typical tapping noise: the averaged beats around it are no
    // take's own taps to measure by.
    const double lone = aligned.size() == 1 ? LoneTapNoise(y) : TapNoiseMs * TapNoiseMs;
    std::vector<double> perTap(n - 1, lone);
    std::vector<double> window;
    for (size_t j = 0; j + 1 < n; ++j) {
        window.clear();
        const size_t lo = j >= NoiseWindow ? j - NoiseWindow : 0;
        const size_t hi = std::min(n - 2, j + NoiseWindow);
        for (size_t i = lo; i <= hi; ++i)
            if (scatter[i] >= 0.0)
                window.push_back(scatter[i]);
        if (!window.empty())
            perTap[j] = std::max(Median(window), 4.0);
    }
    std::vector<double> noise(n);
    for (size_t i = 0; i < n; ++i) {
        double holding = 0.0;
        for (const Take* take : aligned)
            if (take->size() > i)
                holding += 1.0;
        const double tap = perTap[std::min(i, n - 2)];
        // A beat only one take holds has nothing to measure its noise by.
        noise[i] = holding >= 2.0 ? tap / holding : lone;
    }
    return noise;
}

// Solves A x = b for a symmetric positive definite pentadiagonal A (its
// diagonal d, first off-diagonal e and second f) by a banded LDL^T
// factorisation.
std::vector<double> SolveBanded(const std::vector<double>& d, const std::vector<double>& e,
                                const std::vector<double>& f, const std::vector<double>& rhs)
{
    const size_t n = d.size();
    // L has ones on its diagonal, l1 below it and l2 below that.
    std::vector<double> piv(n), l1(n, 0.0), l2(n, 0.0);
    for (size_t j = 0; j < n; ++j) {
        double p = d[j];
        if (j >= 1)
            p -= l1[j - 1] * l1[j - 1] * piv[j - 1];
        if (j >= 2)
            p -= l2[j - 2] * l2[j - 2] * piv[j - 2];
        piv[j] = p;
        if (j + 1 < n) {
            double a = e[j];
            if (j >= 1)
                a -= l2[j - 1] * l1[j - 1] * piv[j - 1];
            l1[j] = a / p;
        }
        if (j + 2 < n)
            l2[j] = f[j] / p;
    }
    std::vector<double> z(n);
    for (size_t j = 0; j < n; ++j) {
        double b = rhs[j];
        if (j >= 1)
            b -= l1[j - 1] * z[j - 1];
        if (j >= 2)
            b -= l2[j - 2] * z[j - 2];
        z[j] = b;
    }
    std::vector<double> x(n);
    for (size_t j = n; j-- > 0;) {
        double b = z[j] / piv[j];
        if (j + 1 < n)
            b -= l1[j] * x[j + 1];
        if (j + 2 < n)
            b -= l2[j] * x[j + 2];
        x[j] = b;
    }
    return x;
}

// A banded normal-equation system built term by term: each term is
// weight * (sum of coeff * z[index] - target)^2 over up to three unknowns
// no more than two apart.
struct BandedSystem {
    explicit BandedSystem(size_t n) : d(n, 0.0), e(n, 0.0), f(n, 0.0), b(n, 0.0) {}
    void Add(const size_t* index, const double* coeff, size_t count, double target, double weight)
    {
        for (size_t a = 0; a < count; ++a) {
            b[index[a]] += weight * coeff[a] * target;
            for (size_t c = 0; c < count; ++c) {
                if (index[c] < index[a])
                    continue;
                const double value = weight * coeff[a] * coeff[c];
                const size_t gap = index[c] - index[a];
                if (gap == 0)
                    d[index[a]] += value;
                else if (gap == 1)
                    e[index[a]] += value;
                else
                    f[index[a]] += value;
            }
        }
    }
    std::vector<double> d, e, f, b;
};

// Solves (W + D^T V D) x = W y, D the second-difference operator: the
// terms w_i (x_i - y_i)^2 and v_k (x_k - 2 x_k+1 + x_k+2)^2.
std::vector<double> Solve(const std::vector<double>& y, const std::vector<double>& w, const std::vector<double>& v)
{
    const size_t n = y.size();
    BandedSystem system(n);
    for (size_t i = 0; i < n; ++i) {
        const size_t index[1] = {i};
        const double coeff[1] = {1.0};
        system.Add(index, coeff, 1, y[i], w[i]);
    }
    for (size_t k = 0; k + 2 < n; ++k) {
        const size_t index[3] = {k, k + 1, k + 2};
        const double coeff[3] = {1.0, -2.0, 1.0};
        system.Add(index, coeff, 3, 0.0, v[k]);
    }
    return SolveBanded(system.d, system.e, system.f, system.b);
}

// Whether a tap's departures from the fit against the tap before it and the
// tap after it (`before`, `after`: its residual less theirs) look like a tap
// off on its own: the same sign, the smaller at least half the larger.
bool Spiky(double before, double after)
{
    if ((before > 0.0) != (after > 0.0))
        return false;
    const double small = std::min(std::fabs(before), std::fabs(after));
    const double large = std::max(std::fabs(before), std::fabs(after));
    return small >= SpikeBalance * large;
}

// One take, smoothed under a model of how a lone take comes about. Its beat
// times are the true beats plus tap errors that wander (first-order
// autoregressive, 0.5 from tap to tap, as measured on human tapping); each
// true beat length is the music's tempo at that beat plus a change of its
// own (a beat pushed or held back, a breath at a phrase's end), and the tempo
// itself moves slowly. The fit finds the beat times x and tempi m that
// minimise
//     e^T C^-1 e  +  sum_k (x_k+1 - x_k - m_k - p_k)^2 / r  +  sum_k (m_k+1 - m_k)^2 / q
// with e = y - x, C the errors' covariance (its inverse is tridiagonal), r the
// variance of the music's own changes and q the tempo's drift per beat, all
// three measured from the take (MeasureLoneTakeModel), and p the take's own
// repeated pattern of timing where it has one (PatternOf; else 0). Unknowns
// ordered x_0, m_0, x_1, m_1, ... make the system pentadiagonal, solved like
// the others.
//
// Against the smoothing of averaged beats this model knows that tap errors
// of neighbouring beats go together (the tempo they fake is slower, and no
// smoother can take it out, but the fast part goes), and that a beat of
// steady music may sit off its tempo by a few per cent without the tempo
// changing. On generated steady takes it brings the median beat-time error
// to about 0.74 of the unsmoothed take's (bench/ANALYSIS.md).
//
// Large departures (a new section, a held beat, a final ritardando) are
// believed: terms far beyond their variance are weighed down in a few
// reweighted rounds (Huber's weights), so a step of tempo costs its size,
// not its square. A tap far off on its own (its neighbours' errors do not
// lead up to it) is taken in only up to SpikeLimit deviations of what they
// predict, and one twice as far not at all: one tap in a hundred of human
// tapping is off by several times the rest, and believed whole it bends the
// tempo around it. No beat moves
// further than MaxMove of its tap noise from the tap as taken in.
//
// `tapped`: the take's own beat times, which the variances are measured on.
// Where some beats are held (on their onsets in the recording), y has lost
// most of its tapping noise, but the beats left to smooth have not.
std::vector<double> SmoothLoneTake(const std::vector<double>& y, const std::vector<double>& tapped,
                                   const std::vector<bool>& fixed)
{
    const size_t n = y.size();
    const auto held = [&](size_t i) { return i < fixed.size() && fixed[i]; };
    const bool anyHeld = std::any_of(fixed.begin(), fixed.end(), [](bool f) { return f; });
    const double tempoShare = TempoShare(tapped);
    const LoneTakeModel model = MeasureLoneTakeModel(tapped);
    const LoneNoise fallback = model.measured ? LoneNoise() : MeasureLoneTake(tapped);
    const double least = LeastTapNoiseMs * tempoShare;
    const double tap = std::clamp(model.measured ? model.tap : fallback.tap, least * least,
                                  MostTapNoiseMs * MostTapNoiseMs);
    const double music =
        std::clamp(model.measured ? model.music : fallback.music, LeastOwnChange * tap, MostVariance * tap);
    const double drift = std::clamp(model.drift, LeastDrift * tap, MostVariance * tap);
    const double innovation = tap * (1.0 - TapCorrelation * TapCorrelation);
    // A tap's error as its neighbours' predict it (the interpolation of a
    // first-order autoregression: rho / (1 + rho^2) of their sum), and how
    // much of it that leaves unexplained.
    const double rho2 = TapCorrelation * TapCorrelation;
    const double spikeLimit = SpikeLimit * std::sqrt(tap * (1.0 - rho2) / (1.0 + rho2));

    const size_t unknowns = 2 * n - 1;
    const auto beat = [](size_t i) { return 2 * i; };
    const auto tempo = [](size_t k) { return 2 * k + 1; };
    std::vector<double> taken(y);      // the taps as taken in, far spikes pulled in
    std::vector<double> pinned(n, 0.0);  // weight pulling beat i onto taken_i
    for (size_t i = 0; i < n; ++i)
        if (held(i))
            pinned[i] = HeldWeight / tap;
    std::vector<double> ownWeight(n - 1, 1.0), driftWeight(n - 2, 1.0);
    std::vector<double> pattern, own(n - 1), residual(n);
    const double ownLimit = HuberLimit * std::sqrt(music);
    const double driftLimit = HuberLimit * std::sqrt(drift);
    const double moveLimit = MaxMove * std::sqrt(tap);
    std::vector<double> z;
    for (int round = 0; round < LoneRounds; ++round) {
        BandedSystem system(unknowns);
        {
            const size_t index[1] = {beat(0)};
            const double coeff[1] = {1.0};
            system.Add(index, coeff, 1, taken[0], 1.0 / tap + pinned[0]);
        }
        for (size_t i = 1; i < n; ++i) {
            // The error's innovation e_i - rho e_i-1.
            const size_t index[2] = {beat(i - 1), beat(i)};
            const double coeff[2] = {-TapCorrelation, 1.0};
            system.Add(index, coeff, 2, taken[i] - TapCorrelation * taken[i - 1], 1.0 / innovation);
            if (pinned[i] > 0.0) {
                const size_t one[1] = {beat(i)};
                const double unit[1] = {1.0};
                system.Add(one, unit, 1, taken[i], pinned[i]);
            }
        }
        for (size_t k = 0; k + 1 < n; ++k) {
            const size_t index[3] = {beat(k), tempo(k), beat(k + 1)};
            const double coeff[3] = {-1.0, -1.0, 1.0};
            const double expected = pattern.empty() ? 0.0 : pattern[k % pattern.size()];
            system.Add(index, coeff, 3, expected, ownWeight[k] / music);
        }
        for (size_t k = 0; k + 2 < n; ++k) {
            const size_t index[2] = {tempo(k), tempo(k + 1)};
            const double coeff[2] = {-1.0, 1.0};
            system.Add(index, coeff, 2, 0.0, driftWeight[k] / drift);
        }
        z = SolveBanded(system.d, system.e, system.f, system.b);
        if (round + 1 == LoneRounds)
            break;
        for (size_t k = 0; k + 1 < n; ++k) {
            const double expected = pattern.empty() ? 0.0 : pattern[k % pattern.size()];
            const double departure = std::fabs(z[beat(k + 1)] - z[beat(k)] - z[tempo(k)] - expected);
            ownWeight[k] = departure > ownLimit ? ownLimit / departure : 1.0;
        }
        for (size_t k = 0; k + 2 < n; ++k) {
            const double step = std::fabs(z[tempo(k + 1)] - z[tempo(k)]);
            driftWeight[k] = step > driftLimit ? driftLimit / step : 1.0;
        }
        // The taps' departures from their tempo, which a pattern is read
        // from (clipped, so a held beat does not make one).
        for (size_t k = 0; k + 1 < n; ++k)
            own[k] = taken[k + 1] - taken[k] - z[tempo(k)];
        std::vector<double> scratch(own);
        const double clip = Clip * RobustScale(scratch);
        for (double& d : own)
            d = std::clamp(d, -clip, clip);
        pattern = PatternOf(own, tap + music);
        // Far spikes, against the taps as tapped each round. Not where
        // beats are held on their onsets: the snapping has placed the taps
        // far off between them already, and a beat left unsure between two
        // held ones is pinned on both sides, so that its tap's own departure
        // (all that says where the beat lies in a rest) looks like a spike
        // (one take along generated recordings with rests: RMS interval
        // error 22 ms with the cleaning, 18 without).
        if (!anyHeld) {
            for (size_t i = 0; i < n; ++i)
                residual[i] = y[i] - z[beat(i)];
            taken = y;
            for (size_t i = 1; i + 1 < n; ++i) {
                // A tap off on its own makes the beat before it long and
                // the one after short (or the other way) by much the same;
                // a beat held or a step of tempo the fit has not yet
                // followed makes one long alone, and is not a spike.
                if (!Spiky(residual[i] - residual[i - 1], residual[i] - residual[i + 1]))
                    continue;
                const double predicted = TapCorrelation / (1.0 + rho2) * (residual[i - 1] + residual[i + 1]);
                const double spike = residual[i] - predicted;
                if (std::fabs(spike) > SpikeDropped * spikeLimit)
                    taken[i] -= spike;
                else if (spike > spikeLimit)
                    taken[i] -= spike - spikeLimit;
                else if (spike < -spikeLimit)
                    taken[i] -= spike + spikeLimit;
            }
        }
        for (size_t i = 0; i < n; ++i) {
            const double off = std::fabs(z[beat(i)] - taken[i]);
            if (off > moveLimit) {
                const double ratio = off / moveLimit;
                pinned[i] += 2.0 * ratio * ratio / tap;
            }
        }
    }
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i)
        x[i] = held(i) ? y[i] : z[beat(i)];
    return x;
}

}  // namespace

double LoneTakeExpression(const std::vector<double>& y)
{
    if (y.size() < 2 * LocalBeats + 2)
        return 0.0;
    const LoneNoise noise = MeasureLoneTake(y);
    return std::max(noise.music, 0.0) / noise.tap;
}

std::vector<double> SmoothBeatTimes(const std::vector<double>& y, const TakeList& aligned, int smoothing)
{
    return SmoothBeatTimes(y, aligned, smoothing, {});
}

std::vector<double> SmoothBeatTimes(const std::vector<double>& y, const TakeList& aligned, int smoothing,
                                    const std::vector<bool>& fixed)
{
    const size_t n = y.size();
    if (smoothing == SmoothingNone || n < 3)
        return y;
    const auto held = [&](size_t i) { return i < fixed.size() && fixed[i]; };
    if (smoothing == SmoothingAuto && aligned.size() == 1 && n >= LeastLoneBeats) {
        const Take& take = *aligned.front();
        const std::vector<double> tapped =
            take.size() == n ? std::vector<double>(take.begin(), take.end()) : y;
        std::vector<double> x = SmoothLoneTake(y, tapped, fixed);
        // Taps so wild that the model's variances lose all precision are
        // left to the plain smoothing below, which asks less of them.
        if (std::all_of(x.begin(), x.end(), [](double t) { return std::isfinite(t); }))
            return x;
    }
    const std::vector<double> noise = NoiseVariances(y, aligned);
    double noiseSum = 0.0;
    for (const double v : noise)
        noiseSum += v;
    const double noiseMean = noiseSum / static_cast<double>(n);

    std::vector<double> change(n - 2);
    for (size_t k = 0; k + 2 < n; ++k)
        change[k] = y[k] - 2.0 * y[k + 1] + y[k + 2];

    std::vector<double> w(n);
    double penalty = 0.0;
    if (smoothing == SmoothingAuto) {
        for (size_t i = 0; i < n; ++i)
            w[i] = 1.0 / noise[i];
        std::vector<double> magnitudes(change);
        const double spread = RobustScale(magnitudes);
        // What the beat-to-beat changes show beyond the noise is the music's;
        // never taken as less than a fiftieth of the noise, which bounds the
        // strength.
        const double music = std::max(spread * spread - SecondDifferenceNoise * noiseMean, 0.02 * noiseMean);
        penalty = 1.0 / music;
    } else {
        double ratio = 0.5;
        for (int level = 1; level < smoothing; ++level)
            ratio *= 2.0;
        for (size_t i = 0; i < n; ++i)
            w[i] = 1.0;
        penalty = ratio;
    }

    const double large = LargeChange * std::sqrt(SecondDifferenceNoise * noiseMean);
    std::vector<double> v(n - 2);
    for (size_t k = 0; k + 2 < n; ++k) {
        const double size = std::fabs(change[k]);
        const double share = size > large ? large / size : 1.0;
        v[k] = penalty * share * share;
    }

    // A held beat weighs so much that the fit passes through it (to far
    // below a microsecond), and is then put exactly on its time.
    for (size_t i = 0; i < n; ++i)
        if (held(i))
            w[i] *= HeldWeight;
    const auto hold = [&](std::vector<double>& times) {
        for (size_t i = 0; i < n; ++i)
            if (held(i))
                times[i] = y[i];
    };
    std::vector<double> x = Solve(y, w, v);
    if (smoothing != SmoothingAuto) {
        hold(x);
        return x;
    }
    // Beats that moved further than their noise allows are held closer and
    // the fit is made again.
    for (int round = 0; round < 4; ++round) {
        bool moved = false;
        for (size_t i = 0; i < n; ++i) {
            if (held(i))
                continue;
            const double limit = MaxMove * std::sqrt(noise[i]);
            const double off = std::fabs(x[i] - y[i]);
            if (off > limit) {
                const double ratio = off / limit;
                w[i] *= 2.0 * ratio * ratio;
                moved = true;
            }
        }
        if (!moved)
            break;
        x = Solve(y, w, v);
    }
    hold(x);
    return x;
}
