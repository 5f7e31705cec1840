#include "BeatSnapping.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "RobustStatistics.h"

namespace {

// A Snapped beat further than this many beats away says nothing of an
// Unsure beat's own tap error (tap errors are correlated about 0.5 from tap
// to tap, so 0.5^8 is nothing); beyond it the Unsure beat takes the shift
// all Snapped beats share, the take's constant lead or lag.
constexpr size_t NeighbourReach = 8;

// Beats found on both the sharp and the slow curve agree within AgreeMs
// (a slow attack's start and its sharp curve's peak lie tens of ms apart;
// an off-beat, a quarter of a beat or more); LeastDiffer beats that differ,
// and twice as many as agree, say the slow curve shows something else.
constexpr double AgreeMs = 50.0;
constexpr size_t LeastDiffer = 4;

// The furthest a tap errs from its beat beyond the common shift (a tap in a
// hundred 70 to 130 ms off, runs of late taps 80 to 140 ms, and the jitter
// on top), and the longest run of such taps: what a beat without a clear
// onset of its own may be moved by onto one its neighbours point at.
constexpr double FarTapMs = 200.0;
constexpr size_t FarRun = 4;
// But no further than FarSpreads robust spreads of the Snapped beats'
// shifts around the common one (how far this take, or this average of
// takes, errs), nor less than FarTapLeastMs (the runs of late taps that
// every tapper has, 100 to 160 ms) where the beats are one or two takes'
// (from three takes on, the robust average outvotes a take's late taps,
// and a run that all takes share is a late run's: SnapLateRuns). Without
// that floor from three on, code-made fast passages with five takes: RMS
// interval error 7.08 to 6.32 ms (one beat had gone 160 ms early onto a
// sixteenth, across a gap whose held beat the course missed); nothing
// else moved, in code or rendered. Far taps are a single take's: averaged
// over five, a far tap moves its beat by a fifth, and a beat 180 ms from
// where the line between its neighbours points is then a beat held longer
// than they are (a phrase's last), whose own onset the line misses and a
// note between the beats lies on (fast passages, five takes: RMS interval
// error 8.7 ms with 200 ms everywhere, 6.4 with the spreads; one take's
// spread of 15 to 20 ms keeps nearly all of 200 ms).
constexpr double FarSpreads = 13.0;
constexpr double FarTapLeastMs = 160.0;

// An Unsure beat's own tap error follows its Snapped neighbours' by this
// much a beat: people's tap errors wander, correlated 0.48 from tap to tap
// (the median over 79 pieces of tapping along recordings), so a beat keeps
// half of its neighbour's departure from the common shift, a quarter two
// beats away. Over a rest the beats far from both ends then take the common
// shift rather than the line between two taps that were each off on their
// own (rests and held chords, one take: RMS interval error 18.9 to 18.7 ms;
// piano 14.1 to 13.9; beats more than 70 ms off 1.6 to 1.4 %).
constexpr double TapErrorFollows = 0.5;
// The shift they depart from is the one the Snapped beats within
// LocalReach beats share, where there are at least LocalLeast of them:
// people's lead or lag drifts over a piece (an average of 20 ms early at
// its start and 80 ms late at its end is no rarity), and the middle of a
// rest late in a piece would take the whole piece's otherwise.
constexpr size_t LocalReach = 16;
constexpr size_t LocalLeast = 8;

// TapErrorFollows to the power `beats`.
double Follows(size_t beats)
{
    double share = 1.0;
    for (size_t k = 0; k < beats; ++k)
        share *= TapErrorFollows;
    return share;
}

// A longer run of beats that did not snap, up to RunMost, may share a
// lateness of its own (see SnapBeats), each beat then within RunReachMs of
// its onset (the taps' own jitter).
constexpr size_t RunMost = 8;
constexpr double RunReachMs = 30.0;
// Such a run lies at least this much later than its neighbours' shift: a
// run less late than that is within the windows, and unsure for want of
// onsets.
constexpr double RunLateMs = 60.0;
constexpr double RunLateBeats = 0.3;

// The step of the curve's level around a beat and of the search for the
// beats' common shift: the windows then need 40 values whatever the hop,
// and the common shift is only the windows' centre.
constexpr double LevelStepMs = 5.0;

// The common shift counts, under every beat, the strongest onset within
// this reach of where the shift puts it: taps err by about 24 ms around
// the common shift, so a single point of the curve would miss most of the
// beats' peaks (ten or so ms wide) under every shift.
constexpr double CommonReachMs = 15.0;
constexpr size_t CommonBeats = 1000;
// But no onset further from its tap than the lag and lead a tapper has,
// give or take a third of that reach, counts: the tap's own error can
// carry a beat's onset a little past them (takes leading by 60 ms over
// sixteenths lost their beats to the sixteenths before without it), while
// off-beat stabs just beyond them gathered at the edge of the shifts and
// won whole takes (at 10 ms, a rendered take of stabs 80 ms after its taps
// was taken again).
constexpr double CommonEdgeMs = 5.0;

// The time of the peak at frame f between its neighbours' values ym and
// yp: the top of the parabola through the three, at most half a frame off.
double PeakTime(int64_t f, double ym, double y0, double yp, double hop)
{
    const double bend = ym - 2.0 * y0 + yp;
    double delta = bend < 0.0 ? 0.5 * (ym - yp) / bend : 0.0;
    delta = std::clamp(delta, -0.5, 0.5);
    return (static_cast<double>(f) + delta) * hop;
}

// One beat's candidate frames: First .. First + Count - 1 of the curve, and
// where its nodes start in the programme's tables.
struct Window {
    int64_t First = 0;
    int64_t Count = 0;
    size_t Node = 0;
};

Window WindowOf(double beat, double half, double hop, int64_t frames)
{
    Window window;
    const double lo = std::ceil((beat - half) / hop);
    const double hi = std::floor((beat + half) / hop);
    if (!(hi >= 0.0) || !(lo <= static_cast<double>(frames - 1)) || hi < lo)
        return window;
    window.First = lo < 0.0 ? 0 : static_cast<int64_t>(lo);
    const int64_t last = std::min(frames - 1, static_cast<int64_t>(hi));
    window.Count = last >= window.First ? last - window.First + 1 : 0;
    return window;
}


// The curve's frames per step of the level and of the common shift's
// search: about LevelStepMs, at least one frame.
int64_t Stride(const OnsetCurve& curve)
{
    const double frames = std::floor(LevelStepMs / curve.HopMs + 0.5);
    return frames < 1.0 ? 1 : static_cast<int64_t>(frames);
}

// The median of the curve's values over a window: the level a peak there
// must stand out from.
// Sampled every LevelStepMs (a fine hop's neighbouring frames say the same).
double LevelOf(const OnsetCurve& curve, const std::vector<float>& values, const Window& w, std::vector<double>& scratch)
{
    scratch.clear();
    const int64_t stride = Stride(curve);
    for (int64_t f = w.First; f < w.First + w.Count; f += stride)
        scratch.push_back(static_cast<double>(values[static_cast<size_t>(f)]));
    return Median(scratch);
}

double LevelOf(const OnsetCurve& curve, const Window& w, std::vector<double>& scratch)
{
    return LevelOf(curve, curve.Values, w, scratch);
}

// Where a clear peak of the curve is placed by its fine curve: of the local
// maxima of Fine from FineBeforeMs before the peak's time to FineAfterMs
// after it, clear (at least LeastStrength and FineContrast times the fine
// curve's mean level within MaxShiftMs) and at least half the strongest
// there (the fine window also sees the beating of held notes), the
// earliest, placed where it rose (the curve's FineRiseShare) or at its
// top, by its parabola (the long window's peak lies up to 10 ms after the
// fine one's, as a note entering among ringing ones shows in it only once
// much of it is in, and a few ms before it where a sound swells); `at`
// itself without one. The earliest, not the strongest: a beat's notes
// seldom sound at once (a chord's notes a few ms apart, a melody note
// late or early against the bass), and the beat lies where its first one
// starts, as a listener marks it; the strongest, weighed by its distance,
// put one beat in ten 9 ms or more late on the expressive piano made in
// code (five takes: RMS interval error 7.52 to 6.98 ms; fast passages
// 7.52 to 7.08; one take, piano 13.31 to 13.14, rests 18.11 to 18.22).
// Times on the curve's own frames (ms from StartMs).
constexpr double FineBeforeMs = 15.0;
constexpr double FineAfterMs = 5.0;
constexpr double FineContrast = 2.0;

// Where the peak at frame `peak` of `values` began to rise: the last
// frame before it, within `look` frames, where the values climb past
// `share` of the way from their lowest there to the peak, refined linearly
// between that frame and the one before; in frames.
double RiseFrame(const std::vector<float>& values, int64_t peak, int64_t look, double share)
{
    const int64_t first = std::max<int64_t>(0, peak - look);
    const auto value = [&](int64_t f) { return static_cast<double>(values[static_cast<size_t>(f)]); };
    double low = value(peak);
    for (int64_t f = first; f < peak; ++f)
        low = std::min(low, value(f));
    const double threshold = low + share * (value(peak) - low);
    int64_t f = peak;
    while (f > first && value(f - 1) > threshold)
        --f;
    if (f == first || !(value(f) > value(f - 1)))
        return static_cast<double>(f);
    return static_cast<double>(f - 1) + (threshold - value(f - 1)) / (value(f) - value(f - 1));
}

// Frames within `ms`, rounded.
int64_t FramesWithin(double ms, double hop)
{
    return static_cast<int64_t>(std::floor(ms / hop + 0.5));
}

// Where a slow attack's peak at `at` (on a curve with a RiseShare) began
// to rise (RiseFrame within RiseLookMs).
double PlacedAtRise(const OnsetCurve& curve, double at)
{
    const double hop = curve.HopMs;
    const auto frames = static_cast<int64_t>(curve.Values.size());
    const double f0 = std::floor(at / hop + 0.5);
    if (!(f0 >= 1.0) || !(f0 <= static_cast<double>(frames - 1)))
        return at;
    return RiseFrame(curve.Values, static_cast<int64_t>(f0), FramesWithin(curve.RiseLookMs, hop), curve.RiseShare) * hop;
}

double PlacedOnFine(const OnsetCurve& curve, double at, const SnapOptions& options)
{
    if (curve.RiseShare > 0.0)
        return PlacedAtRise(curve, at);
    const auto frames = static_cast<int64_t>(curve.Fine.size());
    if (frames < 3)
        return at;
    const double hop = curve.HopMs;
    const double centre = at + curve.StartMs - curve.FineStartMs;
    const double lo = std::ceil((centre - FineBeforeMs) / hop);
    const double hi = std::floor((centre + FineAfterMs) / hop);
    if (!(hi >= 1.0) || !(lo <= static_cast<double>(frames - 2)))
        return at;
    const int64_t first = lo < 1.0 ? 1 : static_cast<int64_t>(lo);
    const int64_t last = std::min(frames - 2, static_cast<int64_t>(hi));
    const auto fine = [&](int64_t f) { return static_cast<double>(curve.Fine[static_cast<size_t>(f)]); };
    double top = 0.0;
    for (int64_t f = first; f <= last; ++f)
        top = std::max(top, fine(f));
    // The fine curve's own level around it: its mean, sampled as the
    // curve's level is.
    const int64_t stride = Stride(curve);
    const Window around = WindowOf(centre, options.MaxShiftMs, hop, frames);
    double sum = 0.0;
    double samples = 0.0;
    for (int64_t f = around.First; f < around.First + around.Count; f += stride) {
        sum += fine(f);
        samples += 1.0;
    }
    const double least = std::max(options.LeastStrength, FineContrast * (samples > 0.0 ? sum / samples : 0.0));
    int64_t best = -1;
    for (int64_t f = first; f <= last && best < 0; ++f) {
        const double v = fine(f);
        if (v >= least && v >= 0.5 * top && v >= fine(f - 1) && v >= fine(f + 1))
            best = f;
    }
    if (best < 0)
        return at;
    if (curve.FineRiseShare > 0.0)
        return RiseFrame(curve.Fine, best, FramesWithin(curve.FineRiseLookMs, hop), curve.FineRiseShare) * hop +
               curve.FineRiseStartMs - curve.StartMs;
    return PeakTime(best, fine(best - 1), fine(best), fine(best + 1), hop) + curve.FineStartMs - curve.StartMs;
}

// The window whose level a peak near a beat at `at` must stand out from:
// the MaxShiftMs around it.
Window AroundOf(const OnsetCurve& curve, const SnapOptions& options, double at)
{
    return WindowOf(at, options.MaxShiftMs, curve.HopMs, static_cast<int64_t>(curve.Values.size()));
}

// Whether `peak` is at least `contrast` times the level of `w` (LevelOf),
// told by counting where the count tells it: the level is the median of
// the window's samples, and contrast times a sample grows with the sample,
// so the peak clears the level where more than half the samples, times
// contrast, lie at or below it, and misses it where fewer than half do;
// only for an even number of samples of which exactly half do is the
// median itself found. A median for every beat cost a fifth of the
// snapping's time, where its count costs a pass over some forty values.
bool ClearsLevel(const OnsetCurve& curve, const std::vector<float>& values, const Window& w, double peak,
                 double contrast, std::vector<double>& scratch)
{
    if (!(contrast > 0.0) || !(contrast < std::numeric_limits<double>::infinity()))
        return peak >= contrast * LevelOf(curve, values, w, scratch);
    const int64_t stride = Stride(curve);
    size_t samples = 0;
    size_t atMost = 0;
    for (int64_t f = w.First; f < w.First + w.Count; f += stride) {
        ++samples;
        atMost += contrast * static_cast<double>(values[static_cast<size_t>(f)]) <= peak ? 1 : 0;
    }
    if (samples == 0)
        return peak >= contrast * 0.0;  // the level of no samples
    const size_t half = samples / 2;
    if (atMost > half || samples % 2 == 1)
        return atMost > half;
    if (atMost < half)
        return false;
    return peak >= contrast * LevelOf(curve, values, w, scratch);
}

// Whether frame f (not on the curve's first or last frame) is a clear
// peak: a local maximum of at least LeastStrength and Contrast times the
// level of `around` (the MaxShiftMs around its beat).
bool ClearPeak(const OnsetCurve& curve, int64_t f, const Window& around, const SnapOptions& options,
               std::vector<double>& scratch)
{
    const double y0 = static_cast<double>(curve.Values[static_cast<size_t>(f)]);
    const double ym = static_cast<double>(curve.Values[static_cast<size_t>(f - 1)]);
    const double yp = static_cast<double>(curve.Values[static_cast<size_t>(f + 1)]);
    return y0 >= options.LeastStrength && y0 >= ym && y0 >= yp &&
           ClearsLevel(curve, curve.Values, around, y0, options.Contrast, scratch);
}

// The time of the clear peak (inside the span, refined by its parabola)
// nearest `centre` within `reach`, standing out from the level of the
// MaxShiftMs around it; false when there is none.
bool ClearPeakNear(const OnsetCurve& curve, double centre, double reach, const SnapOptions& options,
                   std::vector<double>& scratch, double& top)
{
    const double hop = curve.HopMs;
    const int64_t frames = static_cast<int64_t>(curve.Values.size());
    const Window w = WindowOf(centre, reach, hop, frames);
    const Window around = AroundOf(curve, options, centre);
    bool found = false;
    double nearest = 0.0;
    for (int64_t f = w.First + 1; f + 1 < w.First + w.Count; ++f) {
        if (!ClearPeak(curve, f, around, options, scratch))
            continue;
        const double y0 = static_cast<double>(curve.Values[static_cast<size_t>(f)]);
        const double ym = static_cast<double>(curve.Values[static_cast<size_t>(f - 1)]);
        const double yp = static_cast<double>(curve.Values[static_cast<size_t>(f + 1)]);
        const double at = PeakTime(f, ym, y0, yp, hop);
        const double distance = at > centre ? at - centre : centre - at;
        if (!found || distance < nearest) {
            found = true;
            nearest = distance;
            top = at;
        }
    }
    return found;
}

// The largest of `values` (a curve's, every `hop` ms) within `reach` of
// `at`; 0 off the curve.
double PeakWithin(const std::vector<float>& values, double hop, double at, double reach)
{
    const Window w = WindowOf(at, reach, hop, static_cast<int64_t>(values.size()));
    float top = 0.0f;
    for (int64_t f = w.First; f < w.First + w.Count; ++f)
        top = std::max(top, values[static_cast<size_t>(f)]);
    return static_cast<double>(top);
}

// Two trains of onsets the common shift might follow, the beats' own and
// one half or a quarter of a beat away (off-beat stabs over soft kicks, the
// notes a sixteenth before the beats), both within the lead and lag a
// tapper has: the one with more of its beats on clear onsets wins, but
// where the trains nearly match, the low band tells them apart (beats carry
// the kick and the bass note more often than the notes between them). A
// rival shift at least RivalApartMs from the best wins where its sum times
// the sum of the low band's peaks under it (each at least LowLeast, the
// low band's floor of noise) is more than LowPrefers times the best's.
// Measured: a take leading by 60 ms over a rendered piece of sixteenths,
// 400 beats, went whole onto the sixteenths before its beats (its sum
// 36.4 against the beats' 36.1, their low sums 48 and 78), and a code-made
// take of stabs leading as far went onto the stabs (8.3 against 2.3, low
// 6.0 and 27.8); of the other 719 recordings made in code none changed,
// the nearest to changing at 0.80 of the margin.
constexpr double RivalApartMs = 50.0;
constexpr double LowLeast = 0.1;
constexpr double LowPrefers = 1.2;

// The shift of all beats together, on the curve's grid from MaxLagMs back
// to MaxLeadMs on,
// under which the most beats lie on a clear onset: a beat counts the
// strength under it where that is clear (at least LeastStrength and
// Contrast times its level, or at least LeastStrength with the low band
// there at least `lowLeast`: a kick under louder chords), up to Contrast
// times LeastStrength, so that a train of onsets under every beat outweighs a few
// louder accents between them, and the curve's floor of noise counts for
// nothing; of equal shifts the smallest (0 when nothing beats it). Under
// each beat the strongest onset within CommonReachMs counts, but none
// further than CommonEdgeMs beyond MaxLagMs before its tap or MaxLeadMs
// after it: off-beat stabs just beyond the lead a tapper has (a fast beat
// tapped 90 ms late puts them 80 ms after the taps) would otherwise gather
// at the edge of the shifts and win the whole take from the beats' softer
// onsets.
double CommonShift(const std::vector<double>& time, const OnsetCurve& curve, const SnapOptions& options)
{
    const bool low = curve.Low.size() == curve.Values.size();
    // What a peak must reach under a beat to be clear, over the level of the
    // MaxShiftMs around it; and what the low band must reach for a kick or
    // a bass note to make a weaker peak count: LowClear, and Contrast times
    // the low band's level there (found only where a peak needs it).
    std::vector<double> scratch;
    const auto leastOf = [&](size_t i) {
        return std::max(options.LeastStrength, options.Contrast * LevelOf(curve, AroundOf(curve, options, time[i]), scratch));
    };
    const auto lowLeastOf = [&](size_t i) {
        return std::max(options.LowClear,
                        options.Contrast * LevelOf(curve, curve.Low, AroundOf(curve, options, time[i]), scratch));
    };
    const double most = options.Contrast * options.LeastStrength;
    const int64_t stride = Stride(curve);
    const auto steps = static_cast<int64_t>(std::floor(options.MaxLagMs / curve.HopMs)) / stride;
    // Beat by beat, every shift's sum (a beat's frames lie together in
    // memory), each sum over the beats in time order.
    // Shifts later than MaxLeadMs are never chosen; a long piece's lead or
    // lag shows as well in CommonBeats of its beats, spread over it.
    const auto leadSteps = std::min(steps, static_cast<int64_t>(std::floor(options.MaxLeadMs / curve.HopMs)) / stride);
    const size_t every = (time.size() + CommonBeats - 1) / CommonBeats;
    std::vector<double> sums(static_cast<size_t>(2 * steps + 1), 0.0);
    std::vector<double> lowSums(low ? sums.size() : 0, 0.0);
    for (size_t i = 0; i < time.size(); i += every) {
        const double least = leastOf(i);
        double lowLeast = -1.0;
        for (int64_t k = -steps; k <= leadSteps; ++k) {
            const double at = time[i] + static_cast<double>(k * stride) * curve.HopMs;
            const double lo = std::max(at - CommonReachMs, time[i] - options.MaxLagMs - CommonEdgeMs);
            const double hi = std::min(at + CommonReachMs, time[i] + options.MaxLeadMs + CommonEdgeMs);
            const double v = PeakWithin(curve.Values, curve.HopMs, 0.5 * (lo + hi), 0.5 * (hi - lo));
            const double u = low ? PeakWithin(curve.Low, curve.HopMs, 0.5 * (lo + hi), 0.5 * (hi - lo)) : 0.0;
            bool clear = v >= least;
            if (!clear && v >= options.LeastStrength && options.LowClear > 0.0 && u >= options.LowClear) {
                if (lowLeast < 0.0)
                    lowLeast = lowLeastOf(i);
                clear = u >= lowLeast;
            }
            sums[static_cast<size_t>(k + steps)] += !clear ? 0.0 : v < most ? v : most;
            if (low)
                lowSums[static_cast<size_t>(k + steps)] += u < LowLeast ? 0.0 : u;
        }
    }
    int64_t best = 0;
    double bestSum = -1.0;
    for (int64_t k = 0; k <= steps; ++k)
        for (const int64_t sign : {1, -1}) {
            if (k == 0 && sign < 0)
                continue;
            // Beats are moved later (a lead) by no more than MaxLeadMs.
            if (static_cast<double>(sign * k * stride) * curve.HopMs > options.MaxLeadMs)
                continue;
            const double sum = sums[static_cast<size_t>(sign * k + steps)];
            if (sum > bestSum) {
                bestSum = sum;
                best = sign * k;
            }
        }
    const auto shiftOf = [&](int64_t k) { return static_cast<double>(k * stride) * curve.HopMs; };
    if (low) {
        int64_t rival = 0;
        double rivalSum = -1.0;
        for (int64_t k = -steps; k <= leadSteps; ++k) {
            const double sum = sums[static_cast<size_t>(k + steps)];
            if (std::fabs(shiftOf(k) - shiftOf(best)) >= RivalApartMs && sum > rivalSum) {
                rivalSum = sum;
                rival = k;
            }
        }
        if (rivalSum * lowSums[static_cast<size_t>(rival + steps)] >
            LowPrefers * bestSum * lowSums[static_cast<size_t>(best + steps)])
            best = rival;
    }
    return shiftOf(best);
}

// For frames first .. first + count - 1 of `values`, the largest of the
// values within `reach` frames of each (those on the curve), in blocks
// (van Herk / Gil-Werman): within each block of 2 reach + 1 frames the
// running maxima from its start and from its end, so that every span of
// that length is one block's end part and the next block's start part.
// `scratch` holds them.
void SlidingMax(const std::vector<float>& values, int64_t first, int64_t count, int64_t reach, std::vector<float>& out,
                std::vector<float>& scratch)
{
    const auto frames = static_cast<int64_t>(values.size());
    const int64_t lo = std::max<int64_t>(0, first - reach);
    const int64_t hi = std::min(frames, first + count + reach);  // one past
    out.assign(static_cast<size_t>(count), 0.0f);
    if (hi <= lo)
        return;
    const int64_t span = hi - lo;
    const int64_t block = 2 * reach + 1;
    scratch.resize(2 * static_cast<size_t>(span));
    float* fromStart = scratch.data();
    float* fromEnd = scratch.data() + span;
    const float* v = values.data() + lo;
    for (int64_t b = 0; b < span; b += block) {
        const int64_t e = std::min(span, b + block);
        fromStart[b] = v[b];
        for (int64_t j = b + 1; j < e; ++j)
            fromStart[j] = std::max(fromStart[j - 1], v[j]);
        fromEnd[e - 1] = v[e - 1];
        for (int64_t j = e - 1; j-- > b;)
            fromEnd[j] = std::max(fromEnd[j + 1], v[j]);
    }
    // The span's first frame's place within its block is followed from
    // frame to frame: dividing for every frame took a fifth of the
    // programme's time.
    int64_t a = std::max<int64_t>(0, first - reach - lo);
    int64_t within = a % block;
    for (int64_t k = 0; k < count; ++k) {
        const int64_t start = first + k - reach - lo;  // the span's first frame, before the curve's start cuts it
        if (start > a) {
            a = start;
            within = within + 1 == block ? 0 : within + 1;
        }
        const int64_t z = std::min<int64_t>(span - 1, first + k + reach - lo);  // the span's last frame
        // Within one block only where the span is cut at an end of the
        // frames: it then starts its block or ends the last one.
        out[static_cast<size_t>(k)] = within + (z - a) >= block ? std::max(fromEnd[a], fromStart[z])
                                      : within == 0              ? fromStart[z]
                                                                 : fromEnd[a];
    }
}

// One pass over the beats in time order, each beat's window centred on its
// time plus `centre`: which beats snapped, and every beat's shift (the
// Snapped ones' own; the others' still to be filled in).
void SnapPass(const std::vector<double>& time, const OnsetCurve& curve, const SnapOptions& options, double centre,
              std::vector<bool>& snapped, std::vector<double>& moved)
{
    const size_t n = time.size();
    const double hop = curve.HopMs;
    const int64_t frames = static_cast<int64_t>(curve.Values.size());
    snapped.assign(n, false);
    moved.assign(n, 0.0);
    // Each beat's window: half the gap to its nearer neighbour, at most
    // MaxShiftMs.
    std::vector<Window> windows(n);
    size_t nodes = 0;
    for (size_t i = 0; i < n; ++i) {
        double half = options.MaxShiftMs;
        if (i > 0)
            half = std::min(half, 0.5 * (time[i] - time[i - 1]));
        if (i + 1 < n)
            half = std::min(half, 0.5 * (time[i + 1] - time[i]));
        windows[i] = WindowOf(time[i] + centre, half, hop, frames);
        windows[i].Node = nodes;
        nodes += static_cast<size_t>(windows[i].Count);
    }

    // The programme: score[k] is the best total ending on frame k of the
    // beat's window, from[node] the frame of the previous beat with a window
    // it came from (node: the beat's first node + k). Only the previous
    // beat's scores and shifts are kept. The change of shift costs `price`
    // per millisecond.
    const double price = 1.0 / options.ShiftChangeMs;
    const bool low = options.LowWeight > 0.0 && curve.Low.size() == curve.Values.size();
    const int64_t lowReach = FramesWithin(options.LowReachMs, hop);
    std::vector<float> lowNear, lowScratch;
    std::vector<int32_t> from(nodes, -1);
    std::vector<double> score, shift, previousScore, previousShift;
    std::vector<double> best;
    std::vector<int32_t> arg;
    size_t previous = n;
    for (size_t i = 0; i < n; ++i) {
        const Window& w = windows[i];
        if (w.Count == 0)
            continue;
        const auto count = static_cast<size_t>(w.Count);
        score.resize(count);
        shift.resize(count);
        if (low)
            SlidingMax(curve.Low, w.First, w.Count, lowReach, lowNear, lowScratch);
        for (size_t k = 0; k < count; ++k) {
            shift[k] = static_cast<double>(w.First + static_cast<int64_t>(k)) * hop - time[i];
            score[k] = static_cast<double>(curve.Values[static_cast<size_t>(w.First) + k]);
            if (low)
                score[k] += options.LowWeight * static_cast<double>(lowNear[k]);
            const double after = shift[k] - centre - options.AfterTapMs;
            if (after > 0.0)
                score[k] -= after / options.AfterTapPriceMs;
        }
        if (previous < n) {
            // max over the previous beat's frames j of score_j - price |s - s_j|,
            // for every s of this beat: both sets of shifts are ascending, so
            // one sweep up takes the j at or below s (score_j + price s_j,
            // less price s) and one sweep down those above it.
            const size_t pEnd = previousScore.size();
            best.assign(count, 0.0);
            arg.assign(count, -1);
            size_t j = 0;
            double running = 0.0;
            int32_t runningArg = -1;
            for (size_t k = 0; k < count; ++k) {
                while (j < pEnd && previousShift[j] <= shift[k]) {
                    const double v = previousScore[j] + price * previousShift[j];
                    if (runningArg < 0 || v > running) {
                        running = v;
                        runningArg = static_cast<int32_t>(j);
                    }
                    ++j;
                }
                if (runningArg >= 0) {
                    best[k] = running - price * shift[k];
                    arg[k] = runningArg;
                }
            }
            size_t jj = pEnd;
            running = 0.0;
            runningArg = -1;
            for (size_t k = count; k-- > 0;) {
                while (jj > 0 && previousShift[jj - 1] > shift[k]) {
                    --jj;
                    const double v = previousScore[jj] - price * previousShift[jj];
                    if (runningArg < 0 || v > running) {
                        running = v;
                        runningArg = static_cast<int32_t>(jj);
                    }
                }
                if (runningArg >= 0) {
                    const double above = running + price * shift[k];
                    if (arg[k] < 0 || above > best[k]) {
                        best[k] = above;
                        arg[k] = runningArg;
                    }
                }
            }
            for (size_t k = 0; k < count; ++k) {
                score[k] += best[k];
                from[w.Node + k] = arg[k];
            }
        }
        previousScore.swap(score);
        previousShift.swap(shift);
        previous = i;
    }
    if (previous == n)
        return;  // no beat lies over the curve

    // Back from the best end: the chosen frame of every beat with a window.
    std::vector<int64_t> chosen(n, -1);
    {
        size_t k = 0;
        for (size_t q = 1; q < previousScore.size(); ++q)
            if (previousScore[q] > previousScore[k])
                k = q;
        for (size_t i = previous + 1; i-- > 0;) {
            if (windows[i].Count == 0)
                continue;
            chosen[i] = windows[i].First + static_cast<int64_t>(k);
            const int32_t back = from[windows[i].Node + k];
            if (back < 0)
                break;
            k = static_cast<size_t>(back);
        }
    }

    // The programme may stop a frame or two short of a peak, where the
    // strength it gives up is less than the change of shift it saves: the
    // chosen frame climbs to the top of its peak within the window. Clear
    // peaks snap, refined by the parabola through the top and its
    // neighbours.
    const auto value = [&](int64_t f) { return static_cast<double>(curve.Values[static_cast<size_t>(f)]); };
    std::vector<double> scratch;
    for (size_t i = 0; i < n; ++i) {
        int64_t f = chosen[i];
        if (f < 0)
            continue;
        const Window& w = windows[i];
        const int64_t last = w.First + w.Count - 1;
        for (;;) {
            if (f > w.First && value(f - 1) > value(f) && (f == last || value(f - 1) >= value(f + 1)))
                --f;
            else if (f < last && value(f + 1) > value(f))
                ++f;
            else
                break;
        }
        if (f <= w.First || f >= last)
            continue;
        if (!ClearPeak(curve, f, AroundOf(curve, options, time[i]), options, scratch))
            continue;
        const double y0 = static_cast<double>(curve.Values[static_cast<size_t>(f)]);
        const double ym = static_cast<double>(curve.Values[static_cast<size_t>(f - 1)]);
        const double yp = static_cast<double>(curve.Values[static_cast<size_t>(f + 1)]);
        moved[i] = PlacedOnFine(curve, PeakTime(f, ym, y0, yp, hop), options) - time[i];
        snapped[i] = true;
    }
}

// The music's course through four beats (at x = xs[k] beats, times ys[k]):
// the cubic through them, at x beats.
double CourseAt(const double (&xs)[4], const double (&ys)[4], double x)
{
    double at = 0.0;
    for (int a = 0; a < 4; ++a) {
        double weight = 1.0;
        for (int b = 0; b < 4; ++b)
            if (b != a)
                weight = weight * (x - xs[b]) / (xs[a] - xs[b]);
        at += weight * ys[a];
    }
    return at;
}

// Whether the tempo changes alike on both sides of a gap of `span` beats
// (their mean length `beat`), from the beat just before it (`before` long)
// to the one just after it (`after`): by less than twice TempoChange of a
// beat per beat apart. Then the cubic through the Snapped beats two each
// side follows the music's course; a neighbour snapped off its beat (a far
// tap followed onto a note between the beats) bends the cubic further than
// the line, onto the notes between.
bool BendsAlike(double before, double beat, double after, double span, const SnapOptions& options)
{
    const double half = 0.5 * (span + 1.0);
    const double into = (beat - before) / half;
    const double out = (after - beat) / half;
    return std::fabs(out - into) <= 2.0 * options.TempoChange * beat;
}

// Whether the gap from Snapped p to Snapped q (the beats between them
// not Snapped, or looked at as if they were not) has Snapped beats just
// outside it too, and the tempo changes alike on its two sides
// (BendsAlike): then the music's course through it is the cubic through
// those four (CourseTime).
bool GapBendsAlike(size_t p, size_t q, const std::vector<double>& time, const std::vector<bool>& snapped,
                   const std::vector<double>& moved, const SnapOptions& options)
{
    const size_t n = moved.size();
    if (p < 1 || q + 1 >= n || !snapped[p - 1] || !snapped[q + 1])
        return false;
    const auto at = [&](size_t k) { return time[k] + moved[k]; };
    const double beat = (at(q) - at(p)) / static_cast<double>(q - p);
    return BendsAlike(at(p) - at(p - 1), beat, at(q + 1) - at(q), static_cast<double>(q - p), options);
}

// Beat j's time on that course: the cubic through the Snapped beats p - 1,
// p, q and q + 1.
double CourseTime(size_t p, size_t q, size_t j, const std::vector<double>& time, const std::vector<double>& moved)
{
    const double span = static_cast<double>(q - p);
    const double xs[4] = {-1.0, 0.0, span, span + 1.0};
    const double ys[4] = {time[p - 1] + moved[p - 1], time[p] + moved[p], time[q] + moved[q],
                          time[q + 1] + moved[q + 1]};
    return CourseAt(xs, ys, static_cast<double>(j - p));
}

// A beat snapped off the course: a far tap followed onto a note between
// the beats. Where the Snapped beats two each side keep a course whose
// tempo changes alike on both sides (BendsAlike), a Snapped beat more than
// OffCourseMs and OffCourseBeats of a beat off it moves onto the clear peak
// nearest to it within 2 TempoChange of a beat. Decided on the beats as
// snapped, so that one move does not lead another. Only lone beats: two
// together off the course are as often the course's own bend (fast
// passages rendered, five takes: RMS interval 2.2 ms with lone beats, 6.6
// with pairs too).
constexpr double OffCourseMs = 60.0;
constexpr double OffCourseBeats = 0.15;

void SnapOntoCourse(const std::vector<double>& time, const OnsetCurve& curve, const SnapOptions& options,
                    const std::vector<bool>& snapped, std::vector<double>& moved)
{
    const size_t n = time.size();
    std::vector<double> scratch;
    const std::vector<double> was(moved);
    const auto at = [&](size_t i) { return time[i] + was[i]; };
    for (size_t i = 2; i + 2 < n; ++i) {
        if (!snapped[i - 2] || !snapped[i - 1] || !snapped[i] || !snapped[i + 1] || !snapped[i + 2])
            continue;
        const double beat = 0.5 * (at(i + 1) - at(i - 1));
        if (!BendsAlike(at(i - 1) - at(i - 2), beat, at(i + 2) - at(i + 1), 2.0, options))
            continue;
        const double xs[4] = {-2.0, -1.0, 1.0, 2.0};
        const double ys[4] = {at(i - 2), at(i - 1), at(i + 1), at(i + 2)};
        const double course = CourseAt(xs, ys, 0.0);
        if (!(std::fabs(at(i) - course) > std::max(OffCourseMs, OffCourseBeats * beat)))
            continue;
        double top = 0.0;
        if (ClearPeakNear(curve, course, 2.0 * options.TempoChange * beat, options, scratch, top))
            moved[i] = PlacedOnFine(curve, top, options) - time[i];
    }
}

// A run of taps late by 80 to 140 ms over 3 to 8 beats (tappers drift late
// for a few beats and come back) leaves a run of beats beyond their
// windows, and too long, or in too bent a tempo, for the line between its
// ends. Such a run shares its own lateness: of the shifts of the run as a
// whole back by RunLateMs to FarTapMs or RunLateBeats of a beat (taps run
// late, not early, and by less than the off-beat, half a beat away), the
// one that puts the most of its beats within RunReachMs of a clear peak,
// when that is four in five of them and stands out from the shifts well
// away from it, snaps each of those beats to its peak. Over a rest or a
// held chord there are no peaks, and nothing moves.
void SnapLateRuns(const std::vector<double>& time, const OnsetCurve& curve, const SnapOptions& options, double centre,
                  std::vector<bool>& snapped, std::vector<double>& moved)
{
    const size_t n = time.size();
    std::vector<double> scratch;
    for (size_t p = 0; p < n;) {
        if (snapped[p]) {
            ++p;
            continue;
        }
        size_t q = p;
        while (q < n && !snapped[q])
            ++q;
        const size_t length = q - p;
        const size_t from = p;
        p = q;
        if ((from == 0 && q == n) || length < 3 || length > RunMost)
            continue;
        std::vector<double> lengths;
        for (size_t i = from > 0 ? from - 1 : from; i + 1 < n && i < q; ++i)
            lengths.push_back(time[i + 1] - time[i]);
        const double reach = std::min(FarTapMs, RunLateBeats * Median(lengths));
        const auto most = static_cast<int64_t>(std::floor(reach / LevelStepMs));
        const auto least = static_cast<int64_t>(std::ceil(RunLateMs / LevelStepMs));
        double top = 0.0;
        const auto onPeaks = [&](double shift) {
            size_t count = 0;
            for (size_t i = from; i < q; ++i)
                count += ClearPeakNear(curve, time[i] + centre + shift, RunReachMs, options, scratch, top) ? 1 : 0;
            return count;
        };
        size_t bestCount = 0;
        double bestShift = 0.0;
        std::vector<double> counts, shifts;
        for (int64_t k = least; k <= most; ++k) {
            const double shift = -static_cast<double>(k) * LevelStepMs;
            const size_t count = onPeaks(shift);
            counts.push_back(static_cast<double>(count));
            shifts.push_back(shift);
            if (count > bestCount) {
                bestCount = count;
                bestShift = shift;
            }
        }
        // Where onsets are everywhere (fast notes between the beats) any
        // shift finds some: the run's own must stand out from those of
        // shifts well away from it.
        std::vector<double> elsewhere;
        for (size_t j = 0; j < counts.size(); ++j)
            if (std::fabs(shifts[j] - bestShift) > 2.0 * RunReachMs)
                elsewhere.push_back(counts[j]);
        const double usual = elsewhere.empty() ? 0.0 : Median(elsewhere);
        if (bestCount < (4 * length + 4) / 5 || static_cast<double>(bestCount) < 2.0 * usual)
            continue;
        // Late taps step off the music's course where the run begins and
        // step back where it ends; the notes a sixteenth before the beats,
        // which a run of taps on time may find as well, step off it
        // instead. Where two Snapped beats on a side show the course, the
        // run's outermost beat on a peak there must lie nearer to it moved
        // than as tapped (the distances summed over both sides).
        size_t firstOn = q;
        size_t lastOn = from;
        for (size_t i = from; i < q; ++i)
            if (ClearPeakNear(curve, time[i] + centre + bestShift, RunReachMs, options, scratch, top)) {
                firstOn = std::min(firstOn, i);
                lastOn = i;
            }
        double movedOff = 0.0;
        double tappedOff = 0.0;
        const auto course = [&](size_t i, size_t near, size_t far) {
            const double at = time[near] + moved[near];
            const double step = at - (time[far] + moved[far]);
            const double beats = static_cast<double>(i > near ? i - near : near - i);
            const double on = at + beats * step;
            const double tapped = time[i] + centre;
            movedOff += std::fabs(tapped + bestShift - on);
            tappedOff += std::fabs(tapped - on);
        };
        if (from >= 2 && snapped[from - 1] && snapped[from - 2])
            course(firstOn, from - 1, from - 2);
        if (q + 1 < n && snapped[q] && snapped[q + 1])
            course(lastOn, q, q + 1);
        if (movedOff > tappedOff)
            continue;
        for (size_t i = from; i < q; ++i)
            if (ClearPeakNear(curve, time[i] + centre + bestShift, RunReachMs, options, scratch, top)) {
                moved[i] = PlacedOnFine(curve, top, options) - time[i];
                snapped[i] = true;
            }
    }
}

// Beat i snapped onto the clear peak nearest `expected`, its point on the
// course through the Snapped beats around it (`beat` apart there), give or
// take the music's change of tempo, where that peak lies within farReach of
// its tap (`tapped`, with the common shift); whether it was.
bool SnapOnCourse(size_t i, double expected, double beat, double tapped, double farReach, const std::vector<double>& time,
                  const OnsetCurve& curve, const SnapOptions& options, std::vector<double>& scratch,
                  std::vector<bool>& snapped, std::vector<double>& moved)
{
    double top = 0.0;
    if (!(beat > 0.0) || !ClearPeakNear(curve, expected, 2.0 * options.TempoChange * beat, options, scratch, top) ||
        top - tapped > farReach || tapped - top > farReach)
        return false;
    moved[i] = PlacedOnFine(curve, top, options) - time[i];
    snapped[i] = true;
    return true;
}

// A longer gap between Snapped beats (more than FarRun) where the taps
// strayed on and on, each by its own amount: a tapper who lost the beat for
// a phrase and found it again. The course between the gap's ends bends too
// far over its length to be looked along at once, but from each end it
// goes on one beat at a time: the next beat lies about a beat length on
// from the last one found (the music's tempo changes little from one beat
// to the next), so a clear peak within the far taps' window of that point,
// and within farReach of its tap, is its onset. Each side stops at the
// first beat without one, so that nothing is followed over a rest (one
// take, in code: piano 14.2 to 13.6 ms RMS interval error, drums 4.8 to
// 2.5, rests 19.0 to 18.2; rendered fast passages 14.0 to 13.6). Shorter
// gaps keep the course alone: with gaps of two or more followed beat by
// beat as well, fast passages with five takes went from 6.7 to 7.7 ms, the
// steps finding the notes between the beats.
void TrackLongGaps(const std::vector<double>& time, const OnsetCurve& curve, const SnapOptions& options,
                   double common, double farReach, std::vector<bool>& snapped, std::vector<double>& moved)
{
    const size_t n = time.size();
    std::vector<double> scratch;
    const auto at = [&](size_t i) { return time[i] + moved[i]; };
    // Beat i snapped where the course, a beat length `beat` on from the last
    // beat found, points (`expected`); whether it was.
    const auto found = [&](size_t i, double expected, double beat) {
        return SnapOnCourse(i, expected, beat, time[i] + common, farReach, time, curve, options, scratch, snapped, moved);
    };
    for (size_t end = 0; end < n;) {
        if (snapped[end]) {
            ++end;
            continue;
        }
        const size_t from = end;  // the gap: [from, end)
        while (end < n && !snapped[end])
            ++end;
        // Gaps of up to FarRun were looked along the course already. Not
        // at the piece's edges: from one side alone, the course ran on into
        // a phrase's last beats slowing down and found the notes after them
        // (fast passages, five takes: RMS interval error 6.7 to 8.0 ms).
        const size_t length = end - from;
        if (from == 0 || end == n || length <= FarRun)
            continue;
        const double gapBeat = (at(end) - at(from - 1)) / static_cast<double>(length + 1);
        // The frontier each side: the last beat found (the gap between
        // them still to fill), and its beat length.
        size_t left = from;   // the first beat still to find from the left
        size_t right = end;   // one past the last still to find from the right
        bool leftOn = true;
        bool rightOn = true;
        double leftBeat = from >= 2 && snapped[from - 2] ? at(from - 1) - at(from - 2) : gapBeat;
        double rightBeat = end + 1 < n && snapped[end + 1] ? at(end + 1) - at(end) : gapBeat;
        while (left < right && (leftOn || rightOn)) {
            if (leftOn) {
                if (found(left, at(left - 1) + leftBeat, leftBeat)) {
                    leftBeat = at(left) - at(left - 1);
                    ++left;
                } else {
                    leftOn = false;
                }
            }
            if (rightOn && left < right) {
                if (found(right - 1, at(right) - rightBeat, rightBeat)) {
                    --right;
                    rightBeat = at(right + 1) - at(right);
                } else {
                    rightOn = false;
                }
            }
        }
    }
}

// A single far tap errs by up to this much: one tap in a hundred lies 90
// ms or more off its beat, one in a thousand more than 143 ms, where a
// beat held longer than its neighbours is no rarity. One take made in
// code, held gaps followed by the line as far as farReach (160 ms and
// more): fast passages 14.18 ms RMS interval error, rests 18.22, piano
// 13.14; no further than this: 13.34, 17.79, 13.14 (130 ms: piano 13.23).
constexpr double HeldGapReachMs = 145.0;

// Beats between two Snapped ones that did not snap themselves may be taps
// far off their beats (one in a hundred is 70 to 130 ms off, and runs of
// a few taps lag 80 to 140 ms): the programme did not follow them, as
// it would not follow them onto an accent, or could not reach. The
// Snapped beats either side tell where they are without the taps: on
// the course between them, beat by beat, give or take the music's
// change of tempo. A clear peak that close to its point on the course,
// and no further from the tap than tapping errs, is a beat's onset.
// Only short runs: over a longer one (a rest) the tempo may bend too far
// for the course to follow.
void FollowShortGaps(const std::vector<double>& time, const OnsetCurve& curve, const SnapOptions& options,
                     double common, double farReach, std::vector<bool>& snapped, std::vector<double>& moved)
{
    const size_t n = time.size();
    std::vector<double> scratch;
    for (size_t p = 0; p < n;) {
        size_t q = p + 1;
        while (q < n && !snapped[q])
            ++q;
        if (!snapped[p] || q >= n || q - p < 2 || q - p > FarRun + 1) {
            p = q;
            continue;
        }
        const double left = time[p] + moved[p];
        const double right = time[q] + moved[q];
        const double beat = (right - left) / static_cast<double>(q - p);
        // Where the beats before p and after q snapped too, the course
        // bends with the music's tempo through all four (the cubic through
        // them, beat by beat): in a rubato the straight line misses the
        // middle of a gap of three by more than a tenth of a beat. Only
        // where the tempo changes alike on both sides of the gap.
        const bool around = p >= 1 && snapped[p - 1] && q + 1 < n && snapped[q + 1];
        const bool bent = GapBendsAlike(p, q, time, snapped, moved, options);
        // Where the beats around show the tempo bending unlike on the two
        // sides (a held beat, a phrase's last), the line misses the gap's
        // own beats by as much as the hold, and its peaks are notes
        // between the beats: the taps, which showed the hold, are then
        // followed no further than a single far tap errs.
        const double reach = around && !bent ? std::min(farReach, HeldGapReachMs) : farReach;
        for (size_t i = p + 1; i < q; ++i) {
            const double expected =
                bent ? CourseTime(p, q, i, time, moved) : left + beat * static_cast<double>(i - p);
            SnapOnCourse(i, expected, beat, time[i] + common, reach, time, curve, options, scratch, snapped, moved);
        }
        p = q;
    }
}

// The shift the Snapped beats share around every beat: their median within
// LocalReach beats, where there are LocalLeast of them (a take's lead or
// lag drifts over a long piece); `common`, the whole take's, elsewhere.
// The window's shifts are kept in order as it slides: a median of its
// own for every beat cost a sixth of the snapping's time.
std::vector<double> LocalShifts(double common, const std::vector<bool>& snapped, const std::vector<double>& moved)
{
    const size_t n = moved.size();
    std::vector<double> local(n, common);
    std::vector<double> window;
    size_t next = 0;  // the first beat not yet in the window
    for (size_t i = 0; i < n; ++i) {
        for (; next < n && next <= i + LocalReach; ++next)
            if (snapped[next])
                window.insert(std::upper_bound(window.begin(), window.end(), moved[next]), moved[next]);
        if (i > LocalReach && snapped[i - LocalReach - 1])
            window.erase(std::lower_bound(window.begin(), window.end(), moved[i - LocalReach - 1]));
        if (window.size() >= LocalLeast) {
            const size_t mid = window.size() / 2;
            local[i] = window.size() % 2 == 1 ? window[mid] : (window[mid - 1] + window[mid]) * 0.5;
        }
    }
    return local;
}

// An Unsure beat's shift from its tap: `local` and, of the nearest Snapped
// beats p and q (-1 where none is within reach), the share of their
// departures from it that the beat's own tap error carries
// (TapErrorFollows; nearer beats say more).
double TapShift(size_t i, int64_t p, int64_t q, double local, const std::vector<double>& moved)
{
    double shift = local;
    if (p >= 0 && q >= 0) {
        const size_t fromP = i - static_cast<size_t>(p);
        const size_t toQ = static_cast<size_t>(q) - i;
        const double whole = 1.0 - Follows(2 * (fromP + toQ));
        shift += (Follows(fromP) - Follows(fromP + 2 * toQ)) / whole * (moved[static_cast<size_t>(p)] - local);
        shift += (Follows(toQ) - Follows(toQ + 2 * fromP)) / whole * (moved[static_cast<size_t>(q)] - local);
    } else if (p >= 0) {
        shift += Follows(i - static_cast<size_t>(p)) * (moved[static_cast<size_t>(p)] - local);
    } else if (q >= 0) {
        shift += Follows(static_cast<size_t>(q) - i) * (moved[static_cast<size_t>(q)] - local);
    }
    return shift;
}

// A short gap of Unsure beats between two Snapped ones, where the beats
// either side snapped too and bend alike (BendsAlike: no beat in the gap
// held longer than its neighbours), has two witnesses: the beats' taps,
// off by the tapper's own error (less the share its neighbours show), and
// the music's course through the four Snapped beats, off by how far the
// tempo wanders from beat to beat. Which to believe, and how far, differs
// from tapper to tapper, from one take to an average of five, and from
// piece to piece, so it is measured on the recording itself: on every run
// of as many Snapped beats between Snapped ones, placed both ways as if
// they had not snapped, the share of the way from the taps to the course
// that places them best (least squares, from 0 to 1), once CourseLeast
// such beats say so. Only up to CourseGapMost beats: over longer gaps (a
// rest) the course strays where the tempo bends in them and the runs of
// Snapped beats measured did not (rests and held chords, one take: beats
// more than 70 ms off 0.99 % with three, 1.12 % with four; RMS interval
// error 17.55 and 17.91 ms against 17.79 without). One take's RMS
// interval error, in code: pads 14.45 to 12.74 ms, piano 13.14 to 12.84;
// rendered piano 8.60 to 8.07; with five takes nothing worse by more than
// 0.06 ms. (The line between the gap's ends instead of the cubic, over
// gaps of up to two: pads 13.33 ms against 12.94.)
constexpr size_t CourseGapMost = 3;
constexpr size_t CourseLeast = 16;

// Where a gap of up to CourseGapMost beats has such a course.
bool HasCourse(size_t p, size_t q, const std::vector<double>& time, const std::vector<bool>& snapped,
               const std::vector<double>& moved, const SnapOptions& options)
{
    return q - p >= 2 && q - p <= CourseGapMost + 1 && GapBendsAlike(p, q, time, snapped, moved, options);
}

// For gaps of 1 to CourseGapMost beats (index: the gap's length), the
// share of the way from the taps to the course, measured as above.
std::vector<double> CourseShares(const std::vector<double>& time, const std::vector<double>& local,
                                 const std::vector<bool>& snapped, const std::vector<double>& moved,
                                 const SnapOptions& options)
{
    const size_t n = moved.size();
    std::vector<double> shares(CourseGapMost + 1, 0.0);
    for (size_t length = 1; length <= CourseGapMost; ++length) {
        // Minimises the sum of (e + share (c - e))^2 over every beat, e and
        // c the tap's and the course's departure from where it snapped.
        double across = 0.0;
        double apart = 0.0;
        size_t beats = 0;
        for (size_t p = 0; p + length + 1 < n; ++p) {
            const size_t q = p + length + 1;
            bool all = snapped[p] && snapped[q];
            for (size_t j = p + 1; j < q && all; ++j)
                all = snapped[j];
            if (!all || !HasCourse(p, q, time, snapped, moved, options))
                continue;
            for (size_t j = p + 1; j < q; ++j) {
                const double at = time[j] + moved[j];
                const double c = CourseTime(p, q, j, time, moved) - at;
                const double e =
                    time[j] + TapShift(j, static_cast<int64_t>(p), static_cast<int64_t>(q), local[j], moved) - at;
                across += e * (e - c);
                apart += (e - c) * (e - c);
                ++beats;
            }
        }
        if (beats >= CourseLeast && apart > 0.0)
            shares[length] = std::clamp(across / apart, 0.0, 1.0);
    }
    return shares;
}

// Unsure beats: the shift the Snapped beats around them share, and of
// the nearest Snapped beats within reach on either side the share of
// their departures from it that the beat's own tap error carries
// (TapErrorFollows); one side's alone at an edge or a long rest's end. In
// a short gap with a course (HasCourse), then the share of the way from
// there to the course that CourseShares measured.
void PlaceUnsureBeats(const std::vector<double>& time, const SnapOptions& options, double common,
                      const std::vector<bool>& snapped, std::vector<double>& moved)
{
    const size_t n = moved.size();
    std::vector<int64_t> before(n, -1), after(n, -1);
    int64_t seen = -1;
    for (size_t i = 0; i < n; ++i) {
        before[i] = seen;
        if (snapped[i])
            seen = static_cast<int64_t>(i);
    }
    seen = -1;
    for (size_t i = n; i-- > 0;) {
        after[i] = seen;
        if (snapped[i])
            seen = static_cast<int64_t>(i);
    }
    const std::vector<double> local = LocalShifts(common, snapped, moved);
    const std::vector<double> shares = CourseShares(time, local, snapped, moved, options);
    for (size_t i = 0; i < n; ++i) {
        if (snapped[i])
            continue;
        const int64_t p = before[i] >= 0 && i - static_cast<size_t>(before[i]) <= NeighbourReach ? before[i] : -1;
        const int64_t q = after[i] >= 0 && static_cast<size_t>(after[i]) - i <= NeighbourReach ? after[i] : -1;
        double shift = TapShift(i, p, q, local[i], moved);
        if (p >= 0 && q >= 0) {
            const size_t from = static_cast<size_t>(p);
            const size_t to = static_cast<size_t>(q);
            if (HasCourse(from, to, time, snapped, moved, options)) {
                const double share = shares[to - from - 1];
                shift += share * (CourseTime(from, to, i, time, moved) - (time[i] + shift));
            }
        }
        moved[i] = shift;
    }
}

// No beat passes its neighbour, nor shortens the beat before it to less
// than half of what it was (taps never err that far, and a tempo map
// needs beats in order): a beat that would keeps the shift of the beat
// before it, and so that beat's length, and is Unsure.
void KeepBeatsInOrder(const std::vector<double>& time, std::vector<bool>& snapped, std::vector<double>& moved)
{
    const size_t n = time.size();
    for (size_t i = 1; i < n; ++i)
        if (time[i] + moved[i] < time[i - 1] + moved[i - 1] + 0.5 * (time[i] - time[i - 1])) {
            moved[i] = moved[i - 1];
            snapped[i] = false;
        }
}

// The beats snapped onto one curve; `shown` false (and every beat unmoved
// and Unsure) where fewer than LeastShare of them find a clear onset.
// `found`, where given: the beats the programme put on clear onsets, at
// those (Snapped), and the others as given (Unsure), shown or not.
std::vector<SnappedBeat> SnapOnto(const std::vector<double>& beats, const OnsetCurve& curve, const SnapOptions& options,
                                  bool& shown, std::vector<SnappedBeat>* found = nullptr)
{
    shown = false;
    const size_t n = beats.size();
    std::vector<SnappedBeat> result(n);
    for (size_t i = 0; i < n; ++i)
        result[i].TimeMs = beats[i];
    if (n == 0 || !(curve.HopMs > 0.0) || curve.Values.empty())
        return result;

    // Beats in time order (equal times in the order given, which then give
    // equal results anyway).
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return beats[a] < beats[b]; });
    // Times on the curve's own frames: from its first value.
    std::vector<double> time(n);
    for (size_t i = 0; i < n; ++i)
        time[i] = beats[order[i]] - curve.StartMs;

    // The windows are centred on the shift the beats share (a tapper's lead
    // or lag), so that a beat whose own tap error adds to it still finds
    // its onset.
    std::vector<bool> snapped;
    std::vector<double> moved;
    const double centre = CommonShift(time, curve, options);
    SnapPass(time, curve, options, centre, snapped, moved);
    std::vector<double> shared;
    for (size_t i = 0; i < n; ++i)
        if (snapped[i])
            shared.push_back(moved[i]);
    if (found) {
        *found = result;
        for (size_t i = 0; i < n; ++i)
            if (snapped[i]) {
                (*found)[order[i]].TimeMs = time[i] + moved[i] + curve.StartMs;
                (*found)[order[i]].State = SnapState::Snapped;
            }
    }
    // Where most beats find no clear onset the recording does not show its
    // beats (they lie under louder accents, or in a wash of sound), and the
    // few that snap may have snapped to anything: the beats stay as tapped.
    if (static_cast<double>(shared.size()) < options.LeastShare * static_cast<double>(n))
        return result;
    shown = true;
    const double common = Median(shared);
    std::vector<double> deviations;
    for (const double shift : shared)
        deviations.push_back(shift - common);
    const double least = options.Takes >= RobustMeanLeast ? 0.0 : FarTapLeastMs;
    const double farReach = std::min(FarTapMs, std::max(least, FarSpreads * RobustScale(deviations)));

    // The beats the programme left go back onto the music's course where
    // the Snapped beats around them show it: short gaps along it at once,
    // long ones beat by beat from their ends; then runs of late taps that
    // share their lateness, and lone beats the programme followed off the
    // course. The Unsure beats that are left keep their neighbours' shift.
    FollowShortGaps(time, curve, options, common, farReach, snapped, moved);
    TrackLongGaps(time, curve, options, common, farReach, snapped, moved);
    SnapLateRuns(time, curve, options, centre, snapped, moved);
    SnapOntoCourse(time, curve, options, snapped, moved);
    PlaceUnsureBeats(time, options, common, snapped, moved);
    KeepBeatsInOrder(time, snapped, moved);

    for (size_t i = 0; i < n; ++i) {
        SnappedBeat& beat = result[order[i]];
        beat.TimeMs = time[i] + moved[i] + curve.StartMs;
        beat.State = snapped[i] ? SnapState::Snapped : SnapState::Unsure;
    }
    return result;
}

}  // namespace

std::vector<SnappedBeat> SnapBeats(const std::vector<double>& beats, const OnsetCurve& curve, const SnapOptions& options)
{
    bool shown = false;
    std::vector<SnappedBeat> few;
    std::vector<SnappedBeat> snapped = SnapOnto(beats, curve, options, shown, &few);
    if (shown || !curve.Slow || curve.Slow->Values.size() != curve.Values.size())
        return snapped;
    // No beats on the curve of sharp attacks: perhaps they swell (strings, a
    // pad), and the curve of slow attacks shows them.
    std::vector<SnappedBeat> swelled = SnapOnto(beats, *curve.Slow, options, shown);
    if (!shown)
        return snapped;
    // Unless the few beats the sharp curve did find lie elsewhere: soft
    // beats under swelling stabs between them (brass on the off-beats)
    // show on the sharp curve here and there, and the slow curve shows the
    // stabs. Where most of the beats found on both differ by more than
    // AgreeMs, the slow curve has found something else than the beats.
    size_t agree = 0;
    size_t differ = 0;
    for (size_t i = 0; i < beats.size(); ++i)
        if (few[i].State == SnapState::Snapped && swelled[i].State == SnapState::Snapped) {
            const double d = few[i].TimeMs - swelled[i].TimeMs;
            (std::fabs(d) <= AgreeMs ? agree : differ) += 1;
        }
    return differ >= LeastDiffer && differ > 2 * agree ? snapped : swelled;
}

OnsetCurve CurveOfCentredFrames(double hopMs, double windowMs, std::vector<float> values, double fineWindowMs,
                                 std::vector<float> fine, double speaksMs)
{
    OnsetCurve curve = CurveOfCentredFrames(hopMs, windowMs, std::move(values));
    curve.StartMs -= speaksMs;
    curve.Fine = std::move(fine);
    curve.FineStartMs = fineWindowMs / 2.0 - hopMs - speaksMs;
    return curve;
}

OnsetCurve CurveOfCentredFrames(double hopMs, double windowMs, std::vector<float> values)
{
    OnsetCurve curve;
    curve.HopMs = hopMs;
    curve.Values = std::move(values);
    curve.StartMs = windowMs / 2.0 - hopMs;
    return curve;
}
