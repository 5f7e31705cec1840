// Snapping beat times onto a recording's onsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "BeatSnapping.h"
#include "TakeGenerator.h"

namespace {

constexpr double Hop = 5.0;

struct Peak {
    double TimeMs;
    double Strength;
};

// An onset curve with a parabolic bump of the given strength at every peak
// (the three frames nearest a peak lie on one parabola, so its top is found
// exactly between frames), over a floor of low noise; a frame every `hop` ms.
OnsetCurve CurveOf(const std::vector<Peak>& peaks, double lengthMs, TakeRandom* noise, double hop = Hop)
{
    const double halfWidth = 12.5;
    OnsetCurve curve;
    curve.HopMs = hop;
    curve.Values.assign(static_cast<size_t>(lengthMs / hop) + 1, 0.0f);
    if (noise)
        for (float& v : curve.Values)
            v = static_cast<float>(noise->Uniform(0.0, 0.08));
    for (const Peak& p : peaks) {
        const auto lo = static_cast<int64_t>(std::max(0.0, std::floor((p.TimeMs - halfWidth) / hop)));
        const auto hi = std::min(static_cast<int64_t>(curve.Values.size()) - 1,
                                 static_cast<int64_t>(std::ceil((p.TimeMs + halfWidth) / hop)));
        for (int64_t f = lo; f <= hi; ++f) {
            const double d = (static_cast<double>(f) * hop - p.TimeMs) / halfWidth;
            const double v = p.Strength * (1.0 - d * d);
            float& slot = curve.Values[static_cast<size_t>(f)];
            slot = std::max(slot, static_cast<float>(std::max(v, 0.0)));
        }
    }
    return curve;
}

std::vector<double> SteadyBeats(size_t count, double first, double beat)
{
    std::vector<double> beats;
    for (size_t i = 0; i < count; ++i)
        beats.push_back(first + beat * static_cast<double>(i));
    return beats;
}

// Taps of one generated take on the recording: the take's own intervals,
// its errors around the true beats kept, its constant lateness replaced by
// `lag`.
std::vector<double> TappedAlong(TakeRandom& random, const std::vector<double>& truth, double lag)
{
    const Take take = GenerateTake(random, truth, SlipKind::None).Clean;
    std::vector<double> offsets;
    for (size_t k = 0; k < take.size(); ++k)
        offsets.push_back(static_cast<double>(take[k]) - (truth[k] - truth[0]));
    std::vector<double> sorted(offsets);
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::vector<double> taps;
    for (size_t k = 0; k < take.size(); ++k)
        taps.push_back(truth[k] + offsets[k] - median + lag);
    return taps;
}

// Beats on an expressive piece's onsets, tapped with human errors and a
// constant lag, with softer notes between the beats: nearly all come back
// onto their onsets within a frame, whatever the lag.
TEST(BeatSnapping, TappedBeatsReturnToTheirOnsets)
{
    TakeRandom random(17);
    size_t total = 0;
    size_t close = 0;
    std::vector<double> errors;
    for (int set = 0; set < 12; ++set) {
        std::vector<double> truth = GeneratePiece(random, PieceStyle::Expressive, 150);
        for (double& t : truth)
            t += 1200.0;
        std::vector<Peak> peaks;
        for (size_t k = 0; k < truth.size(); ++k) {
            peaks.push_back({truth[k], random.Uniform(0.6, 1.0)});
            if (k + 1 < truth.size() && random.Chance(0.6))
                peaks.push_back({truth[k] + random.Uniform(0.35, 0.65) * (truth[k + 1] - truth[k]), random.Uniform(0.2, 0.7)});
        }
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
        const double lag = random.Uniform(-60.0, 60.0);
        const std::vector<double> taps = TappedAlong(random, truth, lag);
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
        ASSERT_EQ(snapped.size(), truth.size());
        for (size_t k = 0; k < truth.size(); ++k) {
            const double error = std::fabs(snapped[k].TimeMs - truth[k]);
            errors.push_back(error);
            close += error <= Hop ? 1 : 0;
            ++total;
        }
    }
    std::sort(errors.begin(), errors.end());
    EXPECT_LT(errors[errors.size() / 2], 0.5);
    EXPECT_GE(static_cast<double>(close), 0.97 * static_cast<double>(total));
}

// An expressive piece's beats, from a second into the recording.
std::vector<double> ExpressiveBeats(TakeRandom& random, int count)
{
    std::vector<double> truth = GeneratePiece(random, PieceStyle::Expressive, count);
    for (double& t : truth)
        t += 1000.0;
    return truth;
}

// Nine beats in ten Snapped, nineteen in twenty of those within 1 ms of
// where they belong.
void ExpectPlacedOn(const std::vector<SnappedBeat>& snapped, const std::vector<double>& want, int set)
{
    size_t counted = 0;
    size_t placed = 0;
    for (size_t k = 0; k < want.size(); ++k) {
        if (snapped[k].State != SnapState::Snapped)
            continue;
        ++counted;
        placed += std::fabs(snapped[k].TimeMs - want[k]) <= 1.0 ? 1 : 0;
    }
    EXPECT_GE(static_cast<double>(counted), 0.9 * static_cast<double>(want.size())) << set;
    EXPECT_GE(static_cast<double>(placed), 0.95 * static_cast<double>(counted)) << set;
}

// A long window's peaks lag notes that enter among ringing ones by a few
// ms more than a short window's: where the curve has a fine one, its peak
// places the beat, and weak bumps and its floor (held notes beating) do not; where
// the fine curve shows nothing near, the long window's peak stands.
TEST(BeatSnapping, FineCurvePlacesTheSnappedBeats)
{
    TakeRandom random(29);
    for (int set = 0; set < 8; ++set) {
        const std::vector<double> truth = ExpressiveBeats(random, 120);
        std::vector<Peak> coarse, fine;
        std::vector<double> want(truth.size());
        for (size_t k = 0; k < truth.size(); ++k) {
            const double late = random.Uniform(2.0, 10.0);
            coarse.push_back({truth[k] + late, random.Uniform(0.6, 1.0)});
            const bool shown = !random.Chance(0.1);
            if (shown)
                fine.push_back({truth[k], random.Uniform(0.6, 1.0)});
            want[k] = shown ? truth[k] : truth[k] + late;
            // A weak bump before or after it.
            fine.push_back({truth[k] + (random.Chance(0.5) ? -1.0 : 1.0) * random.Uniform(11.0, 14.0), 0.18});
        }
        OnsetCurve curve = CurveOf(coarse, truth.back() + 1000.0, &random);
        const OnsetCurve fineCurve = CurveOf(fine, truth.back() + 1000.0, &random);
        curve.Fine = fineCurve.Values;
        // The short window's floor is higher: it sees held notes beat.
        for (float& v : curve.Fine)
            v = std::max(v, static_cast<float>(random.Uniform(0.0, 0.2)));
        const std::vector<double> taps = TappedAlong(random, truth, random.Uniform(-60.0, 90.0));
        ExpectPlacedOn(SnapBeats(taps, curve), want, set);
    }
}

// A beat's notes a little apart (a chord rolled, a melody note after the
// bass), the later one louder, its long window peaking after both: the
// beat lies on its first note, unless that one is too faint to count
// (under half the later one), and then on the later one.
TEST(BeatSnapping, BeatLiesOnItsFirstNote)
{
    TakeRandom random(41);
    for (int set = 0; set < 6; ++set) {
        const std::vector<double> truth = ExpressiveBeats(random, 100);
        std::vector<Peak> coarse, fine;
        std::vector<double> want(truth.size());
        for (size_t k = 0; k < truth.size(); ++k) {
            const double later = truth[k] + random.Uniform(11.0, 14.0);
            const bool faint = random.Chance(0.3);
            fine.push_back({truth[k], faint ? random.Uniform(0.2, 0.35) : random.Uniform(0.5, 0.7)});
            fine.push_back({later, random.Uniform(0.8, 1.0)});
            coarse.push_back({truth[k] + random.Uniform(9.0, 13.0), random.Uniform(0.6, 1.0)});
            want[k] = faint ? later : truth[k];
        }
        OnsetCurve curve = CurveOf(coarse, truth.back() + 1000.0, &random, 2.5);
        curve.Fine = CurveOf(fine, truth.back() + 1000.0, &random, 2.5).Values;
        const std::vector<double> taps = TappedAlong(random, truth, random.Uniform(-60.0, 90.0));
        ExpectPlacedOn(SnapBeats(taps, curve), want, set);
    }
}

// Where the music rests the beats are Unsure and keep the shift their
// neighbours on the onsets show (here a constant lag of 40 ms); the beats
// around the rest snap.
TEST(BeatSnapping, RestKeepsNeighboursShiftAndIsUnsure)
{
    const std::vector<double> truth = SteadyBeats(60, 800.0, 500.0);
    std::vector<Peak> peaks;
    for (size_t k = 0; k < truth.size(); ++k)
        if (k < 20 || k >= 30)
            peaks.push_back({truth[k], 0.9});
    TakeRandom noise(3);
    const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &noise);
    std::vector<double> taps(truth);
    for (double& t : taps)
        t += 40.0;
    const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
    for (size_t k = 0; k < truth.size(); ++k) {
        const bool rest = k >= 20 && k < 30;
        EXPECT_EQ(snapped[k].State, rest ? SnapState::Unsure : SnapState::Snapped) << k;
        EXPECT_NEAR(snapped[k].TimeMs, truth[k], rest ? 1.0 : 0.01) << k;
    }
}

// A beat or two without an onset (a chord struck again) between Snapped
// ones. Where the music keeps a smooth course and the taps are one
// sloppy take's, the beats go most of the way to the course; where the
// music's beats wander from it (pushed and pulled notes) and the taps are
// a close average's, they stay with the taps. Either fixed choice fails
// one half: the recording's own Snapped beats say which to believe.
TEST(BeatSnapping, ShortGapsLieBetweenTheirTapsAndTheCourseAsTheRecordingShows)
{
    TakeRandom random(61);
    const auto inGap = [](size_t k) { return k % 12 == 4 || k % 12 == 8 || k % 12 == 9; };
    double smoothError = 0.0, smoothTapError = 0.0, wanderError = 0.0, wanderPush = 0.0;
    size_t smoothBeats = 0, wanderBeats = 0;
    for (int set = 0; set < 8; ++set) {
        const bool smooth = set % 2 == 0;
        std::vector<double> grid{1000.0};
        double beat = random.Uniform(450.0, 600.0);
        for (size_t k = 1; k < 160; ++k) {
            if (smooth)
                beat = std::clamp(beat + random.Uniform(-3.0, 3.0), 400.0, 650.0);
            grid.push_back(grid.back() + beat);
        }
        std::vector<double> truth(grid);
        if (!smooth)
            for (size_t k = 1; k < truth.size(); ++k)
                truth[k] += random.Uniform(-20.0, 20.0);
        std::vector<Peak> peaks;
        for (size_t k = 0; k < truth.size(); ++k)
            if (!inGap(k))
                peaks.push_back({truth[k], random.Uniform(0.6, 1.0)});
        // No floor of noise: among so many beats without onsets, now and then
        // a frame of white noise stands out as far as a soft onset does.
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, nullptr);
        const double lag = random.Uniform(-40.0, 60.0);
        const double jitter = smooth ? 35.0 : 3.0;
        std::vector<double> taps;
        for (const double t : truth)
            taps.push_back(t + lag + random.Uniform(-jitter, jitter));
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
        for (size_t k = 0; k < truth.size(); ++k) {
            ASSERT_EQ(inGap(k) ? SnapState::Unsure : SnapState::Snapped, snapped[k].State) << set << " beat " << k;
            if (!inGap(k))
                continue;
            const double error = snapped[k].TimeMs - truth[k];
            if (smooth) {
                smoothError += error * error;
                smoothTapError += (taps[k] - lag - truth[k]) * (taps[k] - lag - truth[k]);
                ++smoothBeats;
            } else {
                wanderError += error * error;
                wanderPush += (grid[k] - truth[k]) * (grid[k] - truth[k]);
                ++wanderBeats;
            }
        }
    }
    const auto rms = [](double sum, size_t n) { return std::sqrt(sum / static_cast<double>(n)); };
    EXPECT_LT(rms(smoothError, smoothBeats), 0.4 * rms(smoothTapError, smoothBeats));
    // (No course through the Snapped beats knows how far a beat was pushed
    // off the steady grid.)
    EXPECT_LT(rms(wanderError, wanderBeats), 0.5 * rms(wanderPush, wanderBeats));
}

// A tapper's lead or lag drifts over a long piece (here from 20 ms early
// to 80 ms late over 240 beats): the beats of its rests, far from either
// end, take the shift the beats around them share, not the piece's.
TEST(BeatSnapping, RestsTakeTheShiftOfTheBeatsAroundThemAsTheLagDrifts)
{
    TakeRandom random(59);
    const std::vector<double> truth = SteadyBeats(240, 1000.0, 520.0);
    const auto inRest = [](size_t k) { return k % 60 >= 40 && k % 60 < 48; };
    std::vector<Peak> peaks;
    for (size_t k = 0; k < truth.size(); ++k)
        if (!inRest(k))
            peaks.push_back({truth[k], random.Uniform(0.6, 1.0)});
    const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
    std::vector<double> taps;
    for (size_t k = 0; k < truth.size(); ++k)
        taps.push_back(truth[k] - 20.0 + 100.0 * static_cast<double>(k) / 240.0 + random.Uniform(-3.0, 3.0));
    const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
    for (size_t k = 0; k < truth.size(); ++k) {
        EXPECT_EQ(inRest(k) ? SnapState::Unsure : SnapState::Snapped, snapped[k].State) << k;
        EXPECT_NEAR(truth[k], snapped[k].TimeMs, inRest(k) ? 8.0 : 0.01) << k;
    }
}

// Tappers drift late by 80 to 140 ms for 3 to 8 beats and come back: such a
// run lies beyond its beats' windows, but shares its lateness, and goes
// back onto its onsets; the same run over a rest (no onsets) stays as
// tapped, and melody notes between the beats do not draw it off.
TEST(BeatSnapping, LateRunOfTapsReturnsToItsOnsets)
{
    TakeRandom random(41);
    for (int set = 0; set < 40; ++set) {
        const double beat = random.Uniform(450.0, 750.0);
        const std::vector<double> truth = SteadyBeats(40, 1000.0, beat);
        const size_t first = static_cast<size_t>(random.Between(8, 25));
        const size_t length = static_cast<size_t>(random.Between(3, 8));
        const bool rest = set % 4 == 3;
        const double late = random.Uniform(80.0, 140.0) * beat / 595.0;
        std::vector<Peak> peaks;
        for (size_t k = 0; k < truth.size(); ++k) {
            if (rest && k + 1 >= first && k < first + length)
                continue;
            peaks.push_back({truth[k], random.Uniform(0.6, 1.0)});
            if (random.Chance(0.5))  // a melody note between the beats
                peaks.push_back({truth[k] + random.Uniform(0.35, 0.65) * beat, random.Uniform(0.3, 0.8)});
        }
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
        std::vector<double> taps;
        for (size_t k = 0; k < truth.size(); ++k)
            taps.push_back(truth[k] + random.Uniform(-15.0, 15.0) + (k >= first && k < first + length ? late : 0.0));
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
        for (size_t k = first; k < first + length; ++k) {
            if (rest) {
                EXPECT_EQ(SnapState::Unsure, snapped[k].State) << set << " beat " << k;
            } else {
                EXPECT_EQ(SnapState::Snapped, snapped[k].State) << set << " beat " << k;
                EXPECT_NEAR(truth[k], snapped[k].TimeMs, Hop) << set << " beat " << k << ", " << late << " ms late";
            }
        }
        if (HasFailure())
            return;
    }
}

// Three taps far early in a row (beyond what the programme follows) in a
// rubato whose beats shorten or lengthen by 5 to 7 % each: the straight
// line between the Snapped beats either side misses the middle one's onset
// by a tenth of a beat, the course through the two beats each side does
// not, and all three come back onto their onsets.
TEST(BeatSnapping, FarTapsInARubatoReturnToTheirOnsets)
{
    TakeRandom random(47);
    for (int set = 0; set < 40; ++set) {
        const double ratio = set % 2 == 0 ? random.Uniform(0.93, 0.95) : random.Uniform(1.05, 1.07);
        std::vector<double> truth{1000.0};
        double length = random.Uniform(500.0, 700.0);
        // Steady up to the bend, then the rubato over the far taps, so
        // that its beats stay between 280 and 1300 ms.
        const size_t bend = 12;
        for (size_t k = 1; k < 24; ++k) {
            if (k > bend && k <= bend + 8)
                length *= ratio;
            truth.push_back(truth.back() + length);
        }
        std::vector<Peak> peaks;
        for (size_t k = 0; k < truth.size(); ++k)
            peaks.push_back({truth[k], random.Uniform(0.6, 1.0)});
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
        const size_t first = bend + 3;
        std::vector<double> taps;
        for (size_t k = 0; k < truth.size(); ++k)
            taps.push_back(truth[k] + random.Uniform(-10.0, 10.0) - (k >= first && k < first + 3 ? 90.0 : 0.0));
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
        for (size_t k = first; k < first + 3; ++k) {
            EXPECT_EQ(SnapState::Snapped, snapped[k].State) << set << " beat " << k << ", ratio " << ratio;
            EXPECT_NEAR(truth[k], snapped[k].TimeMs, Hop) << set << " beat " << k << ", ratio " << ratio;
        }
        if (HasFailure())
            return;
    }
}

// A tapper who lost the beat for a phrase: 5 to 12 taps in a row stray
// 70 to 140 ms late, each by its own amount (no lateness shared by the run),
// in a rubato whose beats change by up to 5 % each, with melody notes
// between the beats. The course between the run's ends bends too far to be
// looked along at once, but beat by beat from each end nearly every beat
// comes back onto its onset, and none goes elsewhere. Where the run's
// middle is a rest, its beats stay Unsure rather than going onto the
// melody notes.
TEST(BeatSnapping, LongRunOfStrayTapsIsFollowedBackBeatByBeat)
{
    TakeRandom random(59);
    size_t runBeats = 0, returned = 0;
    for (int set = 0; set < 60; ++set) {
        std::vector<double> truth{1000.0};
        double length = random.Uniform(450.0, 700.0);
        for (size_t k = 1; k < 48; ++k) {
            length *= random.Uniform(0.95, 1.05);
            length = std::min(900.0, std::max(450.0, length));
            truth.push_back(truth.back() + length);
        }
        const size_t first = static_cast<size_t>(random.Between(10, 20));
        const size_t run = static_cast<size_t>(random.Between(5, 12));
        const bool rest = set % 3 == 2;
        const size_t restFrom = first + 2;
        const size_t restTo = first + run - 2;  // the rest's beats: [restFrom, restTo)
        std::vector<Peak> peaks;
        for (size_t k = 0; k < truth.size(); ++k) {
            const bool silent = rest && k >= restFrom && k < restTo;
            if (!silent)
                peaks.push_back({truth[k], random.Uniform(0.6, 1.0)});
            if (k + 1 < truth.size() && random.Chance(0.6))
                peaks.push_back({truth[k] + random.Uniform(0.5, 0.65) * (truth[k + 1] - truth[k]),
                                 random.Uniform(0.3, 0.9)});
        }
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
        std::vector<double> taps;
        for (size_t k = 0; k < truth.size(); ++k)
            taps.push_back(truth[k] + random.Uniform(-15.0, 15.0) +
                           (k >= first && k < first + run ? random.Uniform(70.0, 140.0) : 0.0));
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
        for (size_t k = first; k < first + run; ++k) {
            if (rest && k >= restFrom && k < restTo) {
                EXPECT_EQ(SnapState::Unsure, snapped[k].State) << set << " beat " << k;
                continue;
            }
            ++runBeats;
            if (snapped[k].State != SnapState::Snapped)
                continue;
            EXPECT_NEAR(truth[k], snapped[k].TimeMs, Hop) << set << " beat " << k << ", run " << run;
            ++returned;
        }
        if (HasFailure())
            return;
    }
    EXPECT_GE(static_cast<double>(returned), 0.98 * static_cast<double>(runBeats)) << returned << " of " << runBeats;
}

// A beat held longer than its neighbours (a phrase's last, 1.5 to 1.9
// beats) whose own onset does not show, with a note between the beats
// where the line between the Snapped beats either side points, 175 to 195
// ms after the beat. Taps on the beat stay there, Unsure: those close
// together (within 4 ms, as an average of several takes lies) where
// tapped; one take's too (within 40 ms), whose tap is then 175 ms or more
// before the note, further than one tap in a thousand errs. But a tap 100
// to 130 ms before the note, as far as a single far tap errs, is taken
// for one: the beat goes onto the note, where the line puts it.
TEST(BeatSnapping, HeldBeatKeepsItsTapsUnlessTheyErrAsFarAsOneTapDoes)
{
    TakeRandom random(53);
    size_t farTaps = 0, stayedOff = 0, onNote = 0;
    for (int set = 0; set < 20; ++set) {
        const double beat = random.Uniform(450.0, 650.0);
        // The note lies half the beat's extra length after it.
        const double held = 1.0 + 2.0 * random.Uniform(175.0, 195.0) / beat;
        std::vector<double> truth{1000.0};
        std::vector<size_t> heldBeats;
        for (size_t k = 1; k < 48; ++k) {
            if (k % 8 == 0)
                heldBeats.push_back(k - 1);
            truth.push_back(truth.back() + (k % 8 == 0 ? held : 1.0) * beat);
        }
        std::vector<Peak> peaks;
        for (size_t k = 0; k < truth.size(); ++k) {
            const bool isHeld = std::find(heldBeats.begin(), heldBeats.end(), k) != heldBeats.end();
            if (!isHeld)
                peaks.push_back({truth[k], random.Uniform(0.6, 1.0)});
            else  // the note where the line points
                peaks.push_back({0.5 * (truth[k - 1] + truth[k + 1]), random.Uniform(0.6, 1.0)});
        }
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
        const auto note = [&](size_t k) { return 0.5 * (truth[k - 1] + truth[k + 1]); };

        std::vector<double> close;
        for (const double t : truth)
            close.push_back(t + 30.0 + random.Uniform(-4.0, 4.0));
        const std::vector<SnappedBeat> kept = SnapBeats(close, curve);
        for (const size_t k : heldBeats) {
            EXPECT_EQ(SnapState::Unsure, kept[k].State) << set << " beat " << k;
            EXPECT_NEAR(truth[k], kept[k].TimeMs, 8.0) << set << " beat " << k;
        }

        std::vector<double> oneTake;
        for (const double t : truth)
            oneTake.push_back(t + 30.0 + random.Uniform(-40.0, 40.0));
        for (const size_t k : heldBeats) {
            std::vector<double> far = oneTake;
            far[k] = note(k) + 30.0 - random.Uniform(170.0, 190.0);
            const std::vector<SnappedBeat> stayed = SnapBeats(far, curve);
            stayedOff += stayed[k].State == SnapState::Unsure && std::fabs(note(k) - stayed[k].TimeMs) > 100.0 ? 1 : 0;
            far[k] = note(k) + 30.0 - random.Uniform(100.0, 130.0);
            const std::vector<SnappedBeat> followed = SnapBeats(far, curve);
            ++farTaps;
            onNote += std::fabs(note(k) - followed[k].TimeMs) <= Hop ? 1 : 0;
        }
        if (HasFailure())
            return;
    }
    // (One take's taps leave a neighbour of the held beat Unsure now and
    // then, and the tempo's bend at the gap is then not known; the common
    // shift such taps show wanders by a few ms.)
    EXPECT_GE(static_cast<double>(stayedOff), 0.9 * static_cast<double>(farTaps));
    EXPECT_GE(static_cast<double>(onNote), 0.9 * static_cast<double>(farTaps));
}

// A beat tapped 120 ms early, its onset clear where the line between its
// Snapped neighbours points. As one take's tap it is a far tap, followed
// onto its onset; as an average of five takes that agree within a few ms
// elsewhere it is not (their robust average outvotes one take's far
// taps): the beat stays Unsure, and only as an Unsure beat in a steady
// piece, whose Snapped beats show its course to hold better than the
// taps, does it go onto that course. A run of four such beats late
// together, a late run the takes share, still goes back onto its onsets.
TEST(BeatSnapping, AnAverageOfTakesIsFollowedOnlyAsFarAsItErrs)
{
    TakeRandom random(67);
    for (int set = 0; set < 10; ++set) {
        const std::vector<double> truth = SteadyBeats(48, 1000.0, random.Uniform(450.0, 650.0));
        std::vector<Peak> peaks;
        for (const double t : truth)
            peaks.push_back({t, random.Uniform(0.6, 1.0)});
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
        std::vector<double> taps;
        for (const double t : truth)
            taps.push_back(t + 30.0 + random.Uniform(-4.0, 4.0));
        SnapOptions one;
        SnapOptions five;
        five.Takes = 5;

        std::vector<double> early = taps;
        const size_t k = 10 + static_cast<size_t>(random.Between(0, 20));
        early[k] = truth[k] + 30.0 - 120.0;
        const std::vector<SnappedBeat> followed = SnapBeats(early, curve, one);
        EXPECT_EQ(SnapState::Snapped, followed[k].State) << set;
        EXPECT_NEAR(truth[k], followed[k].TimeMs, Hop) << set;
        const std::vector<SnappedBeat> kept = SnapBeats(early, curve, five);
        EXPECT_EQ(SnapState::Unsure, kept[k].State) << set;
        EXPECT_NEAR(truth[k], kept[k].TimeMs, Hop) << set;

        std::vector<double> late = taps;
        for (size_t j = k; j < k + 4; ++j)
            late[j] = truth[j] + 30.0 + 120.0 + random.Uniform(-4.0, 4.0);
        const std::vector<SnappedBeat> run = SnapBeats(late, curve, five);
        for (size_t j = k; j < k + 4; ++j) {
            EXPECT_EQ(SnapState::Snapped, run[j].State) << set << " beat " << j;
            EXPECT_NEAR(truth[j], run[j].TimeMs, Hop) << set << " beat " << j;
        }
        if (HasFailure())
            return;
    }
}

// A far tap (100 to 140 ms late) on a loud note between the beats is
// followed onto it: the programme's price for the way out and back is less
// than what the note outweighs the beat's own onset by. The Snapped beats
// two each side keep the music's course, and the beat goes back onto its
// own onset.
TEST(BeatSnapping, FarTapOnANoteBetweenTheBeatsReturnsToTheCourse)
{
    TakeRandom random(53);
    for (int set = 0; set < 40; ++set) {
        const double beat = random.Uniform(450.0, 700.0);
        const std::vector<double> truth = SteadyBeats(30, 1000.0, beat);
        const size_t far = static_cast<size_t>(random.Between(6, 22));
        const double late = random.Uniform(100.0, 140.0);
        std::vector<Peak> peaks;
        for (size_t k = 0; k < truth.size(); ++k)
            peaks.push_back({truth[k], k == far ? 0.4 : random.Uniform(0.6, 1.0)});
        peaks.push_back({truth[far] + late, 1.0});
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
        std::vector<double> taps;
        for (size_t k = 0; k < truth.size(); ++k)
            taps.push_back(truth[k] + random.Uniform(-10.0, 10.0) + (k == far ? late : 0.0));
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
        EXPECT_NEAR(truth[far], snapped[far].TimeMs, Hop) << set << ", " << late << " ms late";
        for (size_t k = 0; k < truth.size(); ++k) {
            if (k == far)
                continue;
            EXPECT_NEAR(truth[k], snapped[k].TimeMs, Hop) << set << " beat " << k;
        }
        if (HasFailure())
            return;
    }
}

// Brass stabs swell on every off-beat over soft beats that show on the
// sharp curve now and then (a third of them): too few for the sharp curve,
// and the slow curve shows the stabs (each rising over 70 ms from the
// off-beat before its beat), within reach of taps that lead. The beats the
// sharp curve found say the stabs are not the beats: nothing moves onto
// them.
TEST(BeatSnapping, SlowCurveOfOffBeatStabsDoesNotTakeTheBeats)
{
    TakeRandom random(59);
    for (int set = 0; set < 12; ++set) {
        const double beat = random.Uniform(330.0, 400.0);
        const std::vector<double> truth = SteadyBeats(60, 1000.0, beat);
        std::vector<Peak> sharp;
        for (size_t k = 0; k < truth.size(); ++k)
            if (random.Chance(0.3))
                sharp.push_back({truth[k], random.Uniform(0.5, 1.0)});
        OnsetCurve curve = CurveOf(sharp, truth.back() + 1000.0, &random);
        auto swell = std::make_shared<OnsetCurve>();
        swell->HopMs = Hop;
        swell->RiseShare = 0.25;
        swell->RiseLookMs = 60.0;
        swell->Values.assign(curve.Values.size(), 0.0f);
        for (float& v : swell->Values)
            v = static_cast<float>(random.Uniform(0.0, 0.03));
        for (size_t k = 1; k < truth.size(); ++k) {
            const double start = truth[k] - 0.5 * beat;
            const double strength = random.Uniform(0.7, 1.0);
            for (size_t f = 0; f < swell->Values.size(); ++f) {
                const double t = static_cast<double>(f) * Hop - start;
                const double v = t < 0.0 ? 0.0 : t < 70.0 ? t / 70.0 : t < 170.0 ? (170.0 - t) / 100.0 : 0.0;
                swell->Values[f] = std::max(swell->Values[f], static_cast<float>(strength * v));
            }
        }
        curve.Slow = swell;
        const double lag = random.Uniform(-60.0, -20.0);
        std::vector<double> taps;
        for (size_t k = 0; k < truth.size(); ++k)
            taps.push_back(truth[k] + lag + random.Uniform(-10.0, 10.0));
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
        for (size_t k = 0; k < truth.size(); ++k)
            EXPECT_GT(std::fabs(snapped[k].TimeMs - (truth[k] - 0.5 * beat)), 4.0 * Hop) << set << " beat " << k;
        if (HasFailure())
            return;
    }
}

// In a fast passage the beats' own notes may show no clear onset for a few
// beats while the sixteenths between them do. A run of such beats tapped on
// time is no late run: moved back onto the sixteenths before the beats it
// would step off the course the beats either side keep, as its taps do
// not. It stays as tapped, Unsure. (Beats of 470 ms and more: a faster
// beat's sixteenth before it lies within the lag the beats may share, and
// the sixteenths, a train under every beat, then compete for the shift
// common to all beats.)
TEST(BeatSnapping, RunOnTimeIsNotPulledOntoTheSixteenthsBefore)
{
    TakeRandom random(43);
    for (int set = 0; set < 40; ++set) {
        const double beat = random.Uniform(470.0, 650.0);
        const std::vector<double> truth = SteadyBeats(40, 1000.0, beat);
        const size_t first = static_cast<size_t>(random.Between(8, 25));
        const size_t length = static_cast<size_t>(random.Between(5, 8));
        std::vector<Peak> peaks;
        for (size_t k = 0; k < truth.size(); ++k) {
            if (k < first || k >= first + length)
                peaks.push_back({truth[k], random.Uniform(0.7, 1.0)});
            for (int q = 1; q < 4; ++q)
                peaks.push_back({truth[k] + q * beat / 4.0, random.Uniform(0.4, 0.6)});
        }
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
        std::vector<double> taps;
        for (size_t k = 0; k < truth.size(); ++k)
            taps.push_back(truth[k] + random.Uniform(-15.0, 15.0));
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
        for (size_t k = first; k < first + length; ++k)
            EXPECT_NEAR(taps[k], snapped[k].TimeMs, 25.0) << set << " beat " << k << " of a run from " << first;
        if (HasFailure())
            return;
    }
}

// The strongest frame within `reach` of a time: where a beat would go if
// every beat chose its onset alone.
double StrongestNear(const OnsetCurve& curve, double time, double reach)
{
    size_t best = 0;
    for (size_t f = 0; f < curve.Values.size(); ++f)
        if (std::fabs(static_cast<double>(f) * Hop - time) <= reach &&
            (best == 0 || curve.Values[f] > curve.Values[best]))
            best = f;
    return static_cast<double>(best) * Hop;
}

// Accents between the beats, twice as strong as the beats' own onsets or
// more: on every other off-beat of a 480 ms beat tapped 80 ms late (the
// late taps lean towards them), and on the sixteenth after a 360 ms beat
// once a bar. A beat on its own, taking the strongest onset within half a
// beat, would take the accent often; chosen together, the beats stay on
// their onsets, where their onsets are within reach.
TEST(BeatSnapping, OffBeatAccentDoesNotCapture)
{
    struct Case {
        double Beat, Accent, Own, Lag;
        size_t Every;
    };
    for (const Case c : {Case{480.0, 240.0, 0.45, 80.0, 2}, Case{360.0, 90.0, 0.6, 20.0, 4}}) {
        TakeRandom random(23);
        const std::vector<double> truth = SteadyBeats(200, 1000.0, c.Beat);
        std::vector<Peak> peaks;
        for (size_t k = 0; k < truth.size(); ++k) {
            peaks.push_back({truth[k], c.Own});
            if (k % c.Every == 1)
                peaks.push_back({truth[k] + c.Accent, 1.0});
        }
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
        const std::vector<double> taps = TappedAlong(random, truth, c.Lag);
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
        size_t captured = 0;
        size_t alone = 0;
        size_t onOwn = 0;
        for (size_t k = 0; k < truth.size(); ++k) {
            // A run of late taps can put a beat's own onset out of reach.
            if (std::fabs(taps[k] - truth[k] - c.Lag) > 90.0)
                continue;
            captured += std::fabs(snapped[k].TimeMs - truth[k] - c.Accent) <= Hop ? 1 : 0;
            alone += std::fabs(StrongestNear(curve, taps[k], c.Beat / 2.0) - truth[k] - c.Accent) <= Hop ? 1 : 0;
            onOwn += std::fabs(snapped[k].TimeMs - truth[k]) <= Hop ? 1 : 0;
        }
        EXPECT_GE(alone, truth.size() / c.Every / 4) << c.Beat;
        EXPECT_EQ(captured, 0u) << c.Beat;
        EXPECT_GE(static_cast<double>(onOwn), 0.95 * static_cast<double>(truth.size())) << c.Beat;
    }
}

// Human taps (their errors wandering by about 24 ms from tap to tap) along
// a rubato whose beats' onsets are soft (0.3 of the local maximum, give or
// take 30 %), with notes as strong on the off-beats: the beats whose taps
// strayed are followed onto their own onsets rather than held, unsure, to
// their neighbours' shift (priced at a change of 100 ms per full onset, 25
// of 1200 beats were held), and none goes onto an off-beat note.
TEST(BeatSnapping, StrayTapsAreFollowedOntoSoftOnsets)
{
    size_t on = 0, all = 0, unsure = 0, offBeat = 0;
    for (uint32_t draw = 60; draw < 70; ++draw) {
        TakeRandom random(draw);
        std::vector<double> truth;
        double beat = 520.0;
        for (double t = 1000.0; truth.size() < 120; t += beat) {
            truth.push_back(t);
            beat = std::clamp(beat * (1.0 + 0.08 * (random.Uniform() - 0.5)), 420.0, 650.0);
        }
        std::vector<Peak> peaks;
        std::vector<double> offBeats;
        for (size_t k = 0; k < truth.size(); ++k) {
            peaks.push_back({truth[k], 0.3 * random.Uniform(0.7, 1.3)});
            if (k + 1 < truth.size()) {
                offBeats.push_back(0.5 * (truth[k] + truth[k + 1]));
                peaks.push_back({offBeats.back(), 0.3});
            }
        }
        const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
        const std::vector<double> taps = TappedAlong(random, truth, 30.0);
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
        for (size_t k = 0; k < truth.size(); ++k) {
            ++all;
            on += std::fabs(snapped[k].TimeMs - truth[k]) <= 1.0 ? 1 : 0;
            unsure += snapped[k].State == SnapState::Unsure ? 1 : 0;
            for (const double t : offBeats)
                offBeat += std::fabs(snapped[k].TimeMs - t) <= 1.0 ? 1 : 0;
        }
    }
    EXPECT_GE(static_cast<double>(on), 0.985 * static_cast<double>(all));
    EXPECT_LE(unsure, 15u);
    EXPECT_EQ(offBeat, 0u);
}

// A fast beat (340 ms) tapped 92 ms late by a steady tapper: the beats'
// own soft onsets on every other beat, stabs on every off-beat several
// times stronger. The stabs lie 78 ms after the taps, beyond the lead a
// tapper has (60 ms): they must not take the take, and the beats go onto
// their own onsets. Beside it, taps at the very edge of the lead and the
// lag a tapper has, over the beats' onsets alone, still find them.
TEST(BeatSnapping, OffBeatsBeyondTheLeadDoNotTakeTheWholeTake)
{
    struct Case {
        double Lag;
        bool Stabs;
    };
    for (const Case c : {Case{92.0, true}, Case{-60.0, false}, Case{100.0, false}}) {
        for (uint32_t draw = 31; draw < 36; ++draw) {
            TakeRandom random(draw);
            const std::vector<double> truth = SteadyBeats(120, 1000.0, 340.0);
            std::vector<Peak> peaks;
            for (size_t k = 0; k < truth.size(); ++k) {
                if (k % 2 == 0)
                    peaks.push_back({truth[k], 0.3});
                if (c.Stabs)
                    peaks.push_back({truth[k] + 170.0, 1.0});
            }
            const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
            std::vector<double> taps;
            for (const double t : truth)
                taps.push_back(t + c.Lag + 10.0 * random.Normal());
            const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
            size_t onStabs = 0, onOwn = 0;
            for (size_t k = 0; k < truth.size(); ++k) {
                onStabs += std::fabs(snapped[k].TimeMs - truth[k] - 170.0) <= Hop ? 1 : 0;
                onOwn += k % 2 == 0 && std::fabs(snapped[k].TimeMs - truth[k]) <= Hop ? 1 : 0;
            }
            EXPECT_EQ(onStabs, 0u) << c.Lag << ", draw " << draw;
            EXPECT_GE(onOwn, 57u) << c.Lag << ", draw " << draw;
        }
    }
}

// One main curve of `peaks` three ways: without a low band, with a low
// band of `bass`, and with one of `everyNote`.
struct LowBands {
    OnsetCurve Alone, WithBass, WithEveryNote;
};
LowBands WithLowBands(const std::vector<Peak>& peaks, const std::vector<Peak>& bass, const std::vector<Peak>& everyNote,
                      double lengthMs, TakeRandom& random)
{
    LowBands curves;
    curves.Alone = CurveOf(peaks, lengthMs, &random);
    curves.WithBass = curves.Alone;
    curves.WithBass.Low = CurveOf(bass, lengthMs, &random).Values;
    curves.WithEveryNote = curves.Alone;
    curves.WithEveryNote.Low = CurveOf(everyNote, lengthMs, &random).Values;
    return curves;
}

// Sixteenths as strong as the beats' own onsets, tapped by a tapper leading
// by about the most a tapper leads (58 ms): the sixteenths before the
// beats lie within the lag a tapper has, the beats at the edge of the
// lead, and on the main curve alone most takes go onto the sixteenths.
// Where the beats carry a bass note the notes between do not (the low
// band), the beats stay on their own onsets; a bass note on every
// sixteenth tells nothing, and the beats go where the main curve alone
// puts them, bit for bit.
TEST(BeatSnapping, LowNotesTellTheBeatsFromTheSixteenthsBefore)
{
    size_t beatsOnOwn = 0, all = 0, takenAlone = 0;
    for (uint32_t draw = 0; draw < 12; ++draw) {
        TakeRandom random(300 + draw);
        const double beat = random.Uniform(480.0, 620.0);
        const std::vector<double> truth = SteadyBeats(100, 1000.0, beat);
        std::vector<Peak> peaks, bass, everyNote;
        for (const double t : truth) {
            peaks.push_back({t, 0.5});
            bass.push_back({t, 1.0});
            everyNote.push_back({t, 1.0});
            for (int q = 1; q < 4; ++q) {
                peaks.push_back({t + q * beat / 4.0, 0.5});
                everyNote.push_back({t + q * beat / 4.0, 1.0});
            }
        }
        const LowBands curves = WithLowBands(peaks, bass, everyNote, truth.back() + 1000.0, random);
        const OnsetCurve& alone = curves.Alone;
        const OnsetCurve& withBass = curves.WithBass;
        const OnsetCurve& withEveryNote = curves.WithEveryNote;
        std::vector<double> taps;
        for (const double t : truth)
            taps.push_back(t - 58.0 + 12.0 * random.Normal());

        const std::vector<SnappedBeat> plain = SnapBeats(taps, alone);
        size_t before = 0;
        for (size_t k = 0; k < truth.size(); ++k)
            before += std::fabs(plain[k].TimeMs - (truth[k] - beat / 4.0)) <= Hop ? 1 : 0;
        takenAlone += before > truth.size() / 2 ? 1 : 0;

        const std::vector<SnappedBeat> snapped = SnapBeats(taps, withBass);
        for (size_t k = 0; k < truth.size(); ++k) {
            ++all;
            beatsOnOwn += std::fabs(snapped[k].TimeMs - truth[k]) <= Hop ? 1 : 0;
        }

        const std::vector<SnappedBeat> told = SnapBeats(taps, withEveryNote);
        for (size_t k = 0; k < truth.size(); ++k) {
            ASSERT_EQ(std::memcmp(&plain[k].TimeMs, &told[k].TimeMs, sizeof(double)), 0) << draw << " beat " << k;
            ASSERT_EQ(plain[k].State, told[k].State) << draw << " beat " << k;
        }
    }
    EXPECT_GE(takenAlone, 6u);
    EXPECT_GE(static_cast<double>(beatsOnOwn), 0.97 * static_cast<double>(all));
}

// Beats with an onset and a bass note, and on most beats a louder chord
// without one a sixteenth after it, tapped late by a tapper whose errors
// wander: on the main curve alone a beat in fifteen goes onto its chord;
// with the low band, a beat's own onset, carrying the bass note, wins at
// least twice as often where they compete. A low band alike under every
// note takes no more beats onto the chords than none.
TEST(BeatSnapping, BassNotesKeepBeatsOffTheChordsAfterThem)
{
    size_t capturedAlone = 0, captured = 0, capturedTold = 0, onOwn = 0, all = 0;
    for (uint32_t draw = 0; draw < 10; ++draw) {
        TakeRandom random(500 + draw);
        std::vector<double> truth;
        double beat = random.Uniform(380.0, 480.0);
        for (double t = 1000.0; truth.size() < 120; t += beat) {
            truth.push_back(t);
            beat = std::clamp(beat * (1.0 + 0.06 * (random.Uniform() - 0.5)), 350.0, 520.0);
        }
        std::vector<Peak> peaks, bass, everyNote;
        std::vector<double> chords;
        for (size_t k = 0; k < truth.size(); ++k) {
            peaks.push_back({truth[k], random.Uniform(0.45, 0.55)});
            bass.push_back({truth[k], 1.0});
            everyNote.push_back({truth[k], 1.0});
            if (random.Chance(0.7)) {
                chords.push_back(truth[k] + random.Uniform(85.0, 100.0));
                peaks.push_back({chords.back(), 0.75});
                everyNote.push_back({chords.back(), 1.0});
            }
        }
        const LowBands curves = WithLowBands(peaks, bass, everyNote, truth.back() + 1000.0, random);
        const OnsetCurve& alone = curves.Alone;
        const OnsetCurve& withBass = curves.WithBass;
        const OnsetCurve& withEveryNote = curves.WithEveryNote;
        const std::vector<double> taps = TappedAlong(random, truth, 40.0);
        const std::vector<SnappedBeat> plain = SnapBeats(taps, alone);
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, withBass);
        const std::vector<SnappedBeat> told = SnapBeats(taps, withEveryNote);
        for (size_t k = 0; k < truth.size(); ++k) {
            ++all;
            onOwn += std::fabs(snapped[k].TimeMs - truth[k]) <= Hop ? 1 : 0;
            for (const double c : chords) {
                capturedAlone += std::fabs(plain[k].TimeMs - c) <= Hop ? 1 : 0;
                captured += std::fabs(snapped[k].TimeMs - c) <= Hop ? 1 : 0;
                capturedTold += std::fabs(told[k].TimeMs - c) <= Hop ? 1 : 0;
            }
        }
    }
    EXPECT_GE(capturedAlone, 30u);
    EXPECT_LE(2 * captured, capturedAlone);
    EXPECT_LE(capturedTold, capturedAlone);
    EXPECT_GE(static_cast<double>(onOwn), 0.96 * static_cast<double>(all));
}

// A fast beat whose kicks are weak on the main curve (a tenth of the stabs
// on every off-beat, under three times the level around them) but carry
// the low band, tapped by a tapper leading by 55 ms: the stabs half a beat
// before lie within the lag a tapper has, and on the main curve alone the
// takes go whole onto them. With the low band the kicks count where the
// take's shift is chosen: no beat goes onto a stab, and each lies on its
// own onset or stays where it was tapped.
TEST(BeatSnapping, KicksUnderLouderOffBeatsKeepTheTakeOffTheStabs)
{
    size_t takenAlone = 0, onStabs = 0, kept = 0, all = 0;
    for (uint32_t draw = 0; draw < 12; ++draw) {
        TakeRandom random(700 + draw);
        const double beat = random.Uniform(320.0, 350.0);
        const std::vector<double> truth = SteadyBeats(100, 1000.0, beat);
        std::vector<Peak> peaks, bass;
        for (const double t : truth) {
            peaks.push_back({t, 0.1});
            peaks.push_back({t + beat / 2.0, 1.0});
            bass.push_back({t, 1.0});
        }
        // (The third curve, a low band under every note, is not asked for.)
        const LowBands curves = WithLowBands(peaks, bass, bass, truth.back() + 1000.0, random);
        const std::vector<double> taps = TappedAlong(random, truth, -55.0);
        const auto stabbed = [&](const std::vector<SnappedBeat>& snapped) {
            size_t count = 0;
            for (size_t k = 0; k + 1 < truth.size(); ++k)
                count += std::fabs(snapped[k + 1].TimeMs - (truth[k] + beat / 2.0)) <= Hop ? 1 : 0;
            return count;
        };
        takenAlone += stabbed(SnapBeats(taps, curves.Alone)) > truth.size() / 2 ? 1 : 0;
        const std::vector<SnappedBeat> snapped = SnapBeats(taps, curves.WithBass);
        onStabs += stabbed(snapped);
        for (size_t k = 0; k < truth.size(); ++k) {
            ++all;
            kept += std::fabs(snapped[k].TimeMs - truth[k]) <= Hop || std::fabs(snapped[k].TimeMs - taps[k]) <= 1.0 ? 1 : 0;
        }
    }
    EXPECT_GE(takenAlone, 10u);
    EXPECT_EQ(onStabs, 0u);
    EXPECT_EQ(kept, all);
}

// No onset within 100 ms of any beat (strong ones between the beats): no
// beat snaps, and none moves by more than a millisecond. Among beats that
// do snap (taps on their onsets), one with nothing within 100 ms of it
// stays where it was too.
TEST(BeatSnapping, NoOnsetNearbyMovesAtMostOneMillisecond)
{
    const std::vector<double> beats = SteadyBeats(40, 700.0, 600.0);
    std::vector<Peak> between;
    for (size_t k = 0; k + 1 < beats.size(); ++k) {
        between.push_back({beats[k] + 160.0, 1.0});
        between.push_back({beats[k] + 300.0, 0.8});
        between.push_back({beats[k] + 440.0, 1.0});
    }
    TakeRandom random(8);
    const OnsetCurve empty = CurveOf(between, beats.back() + 1000.0, &random);
    for (const SnappedBeat& b : SnapBeats(beats, empty))
        EXPECT_EQ(b.State, SnapState::Unsure);
    const std::vector<SnappedBeat> none = SnapBeats(beats, empty);
    for (size_t k = 0; k < beats.size(); ++k)
        EXPECT_LE(std::fabs(none[k].TimeMs - beats[k]), 1.0) << k;

    std::vector<Peak> peaks(between);
    for (size_t k = 0; k < beats.size(); ++k)
        if (k % 7 != 3)
            peaks.push_back({beats[k], 0.9});
    const OnsetCurve mixed = CurveOf(peaks, beats.back() + 1000.0, &random);
    const std::vector<SnappedBeat> some = SnapBeats(beats, mixed);
    for (size_t k = 0; k < beats.size(); ++k) {
        EXPECT_EQ(some[k].State, k % 7 == 3 ? SnapState::Unsure : SnapState::Snapped) << k;
        EXPECT_LE(std::fabs(some[k].TimeMs - beats[k]), 1.0) << k;
    }
}

// A peak must reach Contrast times the level around its beat, the median of
// the window's samples. Where the window holds an even number of them, half
// low and half high, that median is the mean of the two middle ones: a
// peak just over three times it is clear, one just under it is not, though
// both lie between three times the low samples and three times the high.
TEST(BeatSnapping, PeakIsJudgedAgainstTheMeanOfAnEvenWindowsMiddleSamples)
{
    const double hop = 2.5;
    // Taps 1 ms after a frame: their windows of 100 ms either side hold 80
    // frames, 40 samples of the level.
    const std::vector<double> taps = SteadyBeats(30, 1001.0, 600.0);
    const double low = 0.1;
    const double high = 0.2;
    const double threshold = SnapOptions().Contrast * 0.5 * (low + high);
    // The peaks 15 ms after their taps, alternately just over and just under.
    std::vector<Peak> peaks;
    for (size_t k = 0; k < taps.size(); ++k)
        peaks.push_back({taps[k] + 15.0, k % 2 == 0 ? threshold + 0.02 : threshold - 0.02});
    OnsetCurve curve = CurveOf(peaks, taps.back() + 1000.0, nullptr, hop);
    // The floor: low, but high from each tap to 100 ms after it, under the
    // peak's slopes.
    for (float& v : curve.Values)
        v = std::max(v, static_cast<float>(low));
    for (const double tap : taps)
        for (auto f = static_cast<int64_t>(std::ceil(tap / hop)); static_cast<double>(f) * hop <= tap + 100.0; ++f)
            curve.Values[static_cast<size_t>(f)] = std::max(curve.Values[static_cast<size_t>(f)], static_cast<float>(high));
    const std::vector<SnappedBeat> snapped = SnapBeats(taps, curve);
    for (size_t k = 0; k < taps.size(); ++k) {
        EXPECT_EQ(snapped[k].State, k % 2 == 0 ? SnapState::Snapped : SnapState::Unsure) << k;
        EXPECT_NEAR(snapped[k].TimeMs, taps[k] + 15.0, 1.0) << k;
    }
}

// The same input gives the same bits; the beats in another order give each
// beat the same result.
TEST(BeatSnapping, DeterministicAndOrderFree)
{
    TakeRandom random(41);
    std::vector<double> truth = GeneratePiece(random, PieceStyle::Steady, 300);
    for (double& t : truth)
        t += 500.0;
    std::vector<Peak> peaks;
    for (size_t k = 0; k < truth.size(); ++k)
        if (random.Chance(0.85))
            peaks.push_back({truth[k] + random.Uniform(-3.0, 3.0), random.Uniform(0.2, 1.0)});
    const OnsetCurve curve = CurveOf(peaks, truth.back() + 1000.0, &random);
    const std::vector<double> taps = TappedAlong(random, truth, 70.0);
    const std::vector<SnappedBeat> first = SnapBeats(taps, curve);
    const std::vector<SnappedBeat> again = SnapBeats(taps, curve);
    const std::vector<size_t> order = Permutation(random, taps.size());
    const std::vector<SnappedBeat> shuffled = SnapBeats(Permuted(taps, order), curve);
    size_t unsure = 0;
    for (size_t k = 0; k < taps.size(); ++k) {
        EXPECT_EQ(std::memcmp(&first[k].TimeMs, &again[k].TimeMs, sizeof(double)), 0) << k;
        EXPECT_EQ(first[k].State, again[k].State);
        EXPECT_EQ(std::memcmp(&first[order[k]].TimeMs, &shuffled[k].TimeMs, sizeof(double)), 0) << k;
        EXPECT_EQ(first[order[k]].State, shuffled[k].State);
        unsure += first[k].State == SnapState::Unsure ? 1 : 0;
    }
    // Both kinds of beat were exercised.
    EXPECT_GT(unsure, 10u);
    EXPECT_LT(unsure, taps.size() / 2);
}

}  // namespace
