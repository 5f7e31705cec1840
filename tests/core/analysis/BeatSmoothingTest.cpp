// The smoothing of averaged beat times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "AnalysisTestSupport.h"
#include "BeatSmoothing.h"
#include "TakeGenerator.h"

namespace {

using namespace analysis_test;

double Infinity()
{
    return std::numeric_limits<double>::infinity();
}

// Smoothing: on one steady take the tempo follows the true one more closely
// than the raw taps do, and more so the higher the level; a held beat (one
// beat twice as long) survives the automatic strength.
TEST(BeatSmoothing, SteadyJitterRemovedHeldBeatKept)
{
    TakeRandom random(5);
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, 400);
    const Take take = GenerateTake(random, piece, SlipKind::None).Clean;
    const TakeList list{&take};
    const std::vector<double> raw = AverageTakes(list);
    const std::vector<double> truth = Lengths(piece);
    // Each level smooths more than the one below (the beat lengths change
    // less from beat to beat); the low ones bring the tempo closer to the
    // truth.
    const double rawError = RmsDifference(Lengths(raw), truth);
    double roughness = Infinity();
    for (const int level : {1, 4, 8}) {
        const std::vector<double> lengths = Lengths(SmoothBeatTimes(raw, list, level));
        const std::vector<double> changes = Lengths(lengths);
        const double rough = RmsDifference(changes, std::vector<double>(changes.size(), 0.0));
        EXPECT_LT(rough, roughness) << "level " << level;
        roughness = rough;
        if (level < 8) {
            EXPECT_LT(RmsDifference(lengths, truth), rawError) << "level " << level;
        }
    }
    EXPECT_LT(RmsDifference(Lengths(SmoothBeatTimes(raw, list, SmoothingAuto)), truth),
              0.75 * RmsDifference(Lengths(raw), truth));

    Take held = Steady(60);
    for (size_t i = 31; i < held.size(); ++i)
        held[i] += 500;
    const TakeList heldList{&held};
    const std::vector<double> smoothed = SmoothBeatTimes(AverageTakes(heldList), heldList, SmoothingAuto);
    EXPECT_GT(smoothed[31] - smoothed[30], 900.0);
    // No beat moves further than the tapping noise allows.
    for (size_t i = 0; i < smoothed.size(); ++i)
        EXPECT_LE(std::fabs(smoothed[i] - static_cast<double>(held[i])), 2.5 * TapNoiseMs + 1e-9);
}

// The beat-time error of a map against the truth, its constant offset set
// aside (a tempo map has none): the RMS around the mean difference.
double BeatTimeError(const std::vector<double>& beats, const std::vector<double>& truth)
{
    double mean = 0.0;
    for (size_t i = 0; i < beats.size(); ++i)
        mean += beats[i] - truth[i];
    mean /= static_cast<double>(beats.size());
    double squares = 0.0;
    for (size_t i = 0; i < beats.size(); ++i) {
        const double d = beats[i] - truth[i] - mean;
        squares += d * d;
    }
    return std::sqrt(squares / static_cast<double>(beats.size()));
}

// One take is smoothed by the noise it shows, not by a noise assumed for
// every tapper at every tempo: on expressive music tapped carefully, or on a
// fast piece, the automatic strength leaves the music alone (hardly ever a
// take made more than 10 % worse), and a careless tapper on steady music is
// still cleaned.
TEST(BeatSmoothing, OneTakeSmoothedByItsOwnNoise)
{
    TakeRandom random(31);
    int worse = 0;
    int takes = 0;
    double steadyPlain = 0.0;
    double steadySmooth = 0.0;
    for (int set = 0; set < 40; ++set) {
        const bool fast = set % 2 == 1;
        PieceOptions options = fast ? FastPiece() : PieceOptions();
        options.HeldAndShortened = true;
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 300, options);
        TakeOptions careful;
        careful.LeastNoise = 10.0;
        careful.MostNoise = 14.0;
        careful.ErrorFollowsTempo = fast;
        const Take quiet = GenerateTake(random, piece, SlipKind::None, careful).Clean;
        const TakeList one{&quiet};
        const std::vector<double> tapped = AverageTakes(one);
        ++takes;
        if (BeatTimeError(SmoothBeatTimes(tapped, one, SmoothingAuto), piece) > 1.1 * BeatTimeError(tapped, piece))
            ++worse;

        const std::vector<double> steady = GeneratePiece(random, PieceStyle::Steady, 300);
        TakeOptions careless;
        careless.LeastNoise = 26.0;
        careless.MostNoise = 30.0;
        const Take noisy = GenerateTake(random, steady, SlipKind::None, careless).Clean;
        const TakeList list{&noisy};
        const std::vector<double> raw = AverageTakes(list);
        steadyPlain += RmsDifference(Lengths(raw), Lengths(steady));
        steadySmooth += RmsDifference(Lengths(SmoothBeatTimes(raw, list, SmoothingAuto)), Lengths(steady));
    }
    EXPECT_LE(worse, takes / 10) << "careful takes of expressive music made over 10 % worse";
    EXPECT_LT(steadySmooth, 0.75 * steadyPlain);
}

// One take of music at one tempo, then another 10 % faster: the smoothing
// brings the beats closer to the truth than the taps are, and the step
// between the tempi stays a step: a few beats each side of it the beat
// lengths are their own tempo's.
TEST(BeatSmoothing, OneTakeTempoStepKept)
{
    TakeRandom random(43);
    double plainError = 0.0;
    double smoothError = 0.0;
    for (int set = 0; set < 10; ++set) {
        std::vector<double> piece(200, 0.0);
        for (size_t j = 1; j < piece.size(); ++j)
            piece[j] = piece[j - 1] + (j <= 100 ? 600.0 : 540.0);
        const Take take = GenerateTake(random, piece, SlipKind::None, TakeOptions{15.0, 25.0}).Clean;
        const TakeList list{&take};
        const std::vector<double> raw = AverageTakes(list);
        const std::vector<double> smoothed = SmoothBeatTimes(raw, list, SmoothingAuto);
        plainError += BeatTimeError(raw, piece);
        smoothError += BeatTimeError(smoothed, piece);
        // Beats 90 to 95 and 105 to 110, by their span: a step smoothed
        // over would put both near 570.
        EXPECT_NEAR((smoothed[95] - smoothed[90]) / 5.0, 600.0, 10.0) << "set " << set;
        EXPECT_NEAR((smoothed[110] - smoothed[105]) / 5.0, 540.0, 10.0) << "set " << set;
    }
    EXPECT_LT(smoothError, 0.8 * plainError);
}

// One take along a recording, most of its beats held on their onsets (the
// true beats) and every fifth one unsure, still where it was tapped: the
// smoothing measures the tapping noise on the take's taps, not on the held
// beats that have lost it, and so brings the unsure beats much closer to
// the truth.
TEST(BeatSmoothing, UnsureBeatsAmongHeldOnesMeasuredByTheTaps)
{
    TakeRandom random(61);
    double before = 0.0;
    double after = 0.0;
    for (int set = 0; set < 10; ++set) {
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, 200);
        const Take take = GenerateTake(random, piece, SlipKind::None, TakeOptions{20.0, 30.0}).Clean;
        const TakeList list{&take};
        const std::vector<double> tapped = AverageTakes(list);
        std::vector<double> beats(piece.size());
        std::vector<bool> held(piece.size(), true);
        // The taps' own offset set aside, as the snapping does with its
        // common shift.
        const double offset = tapped[0] - piece[0];
        for (size_t i = 0; i < piece.size(); ++i) {
            held[i] = i % 5 != 2;
            beats[i] = held[i] ? piece[i] : tapped[i] - offset;
        }
        const std::vector<double> smoothed = SmoothBeatTimes(beats, list, SmoothingAuto, held);
        for (size_t i = 0; i < piece.size(); ++i) {
            if (held[i]) {
                EXPECT_EQ(smoothed[i], piece[i]);
                continue;
            }
            before += (beats[i] - piece[i]) * (beats[i] - piece[i]);
            after += (smoothed[i] - piece[i]) * (smoothed[i] - piece[i]);
        }
    }
    // Measured on the held beats, the noise came out at its floor and the
    // unsure beats kept half their squared error (0.48); measured on the
    // taps, a third (0.32).
    EXPECT_LT(after, 0.4 * before);
}

// The lone take's model tells a tapper's noise from the music's own changes:
// over generated steady takes (with their taps far off and late runs), a
// tapper of 20 or 28 ms is measured within a quarter of the truth in most
// takes; a careful one (12 ms, as much as steady music's own changes) is
// hardly ever taken for a careless one, which would smooth the music away.
TEST(BeatSmoothing, LoneTakeModelMeasuresTheTapper)
{
    TakeRandom random(71);
    for (const double noise : {12.0, 20.0, 28.0}) {
        int close = 0;
        int high = 0;
        std::vector<double> ratios;
        for (int set = 0; set < 40; ++set) {
            const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, random.Between(200, 900));
            const Take take = GenerateTake(random, piece, SlipKind::None, TakeOptions{noise, noise + 0.5}).Clean;
            const LoneTakeModel model = MeasureLoneTakeModel(AverageTakes(TakeList{&take}));
            ASSERT_TRUE(model.measured) << "set " << set;
            const double ratio = std::sqrt(model.tap) / noise;
            ratios.push_back(ratio);
            close += ratio > 0.75 && ratio < 1.25 ? 1 : 0;
            high += ratio > 1.4 ? 1 : 0;
        }
        std::sort(ratios.begin(), ratios.end());
        const double median = ratios[ratios.size() / 2];
        if (noise > 15.0) {
            EXPECT_NEAR(median, 1.0, 0.12) << noise << " ms";
            EXPECT_GE(close, 30) << noise << " ms: measured within a quarter of the truth";
        } else {
            EXPECT_GT(median, 0.6) << noise << " ms";
            EXPECT_LT(median, 1.15) << noise << " ms";
        }
        EXPECT_LE(high, 4) << noise << " ms: measured over 1.4 times the truth";
    }
    // Taps exactly even show nothing to measure.
    Take even;
    for (uint32_t i = 0; i < 100; ++i)
        even.push_back(500 * i);
    EXPECT_FALSE(MeasureLoneTakeModel(AverageTakes(TakeList{&even})).measured);
}

// Beat times of a steady piece around 500 ms with small changes of its own,
// and taps on it with errors that wander (0.5 from tap to tap) by `noise`.
struct LoneTaps {
    std::vector<double> piece;
    std::vector<double> taps;
};

LoneTaps TapPiece(TakeRandom& random, size_t beats, double noise, double broadenEvery8th)
{
    LoneTaps t;
    t.piece.assign(beats, 0.0);
    for (size_t j = 1; j < beats; ++j)
        t.piece[j] = t.piece[j - 1] + 500.0 * (1.0 + 0.01 * random.Normal()) + ((j - 1) % 8 == 7 ? broadenEvery8th : 0.0);
    double error = noise * random.Normal();
    for (const double beat : t.piece) {
        error = 0.5 * error + 0.866 * noise * random.Normal();
        t.taps.push_back(beat + error);
    }
    return t;
}

// The taps as a take, rounded to whole ms from 1000 ms on.
Take TakeOf(const std::vector<double>& taps)
{
    Take take;
    for (const double t : taps)
        take.push_back(static_cast<uint32_t>(t - taps.front() + 1000.5));
    return take;
}

std::vector<double> SmoothOne(const std::vector<double>& taps)
{
    const Take take = TakeOf(taps);
    std::vector<double> times(take.begin(), take.end());
    std::vector<double> smoothed = SmoothBeatTimes(times, TakeList{&take}, SmoothingAuto);
    for (double& x : smoothed)
        x += taps.front() - 1000.0;
    return smoothed;
}

// A tap far off on its own (a slip of the hand, the neighbours on their
// beats) is not believed whole: against the same take without it, the beat
// moves far less than the tap did, and its neighbours hardly at all.
TEST(BeatSmoothing, TapFarOffOnItsOwnHardlyBendsItsNeighbours)
{
    TakeRandom random(73);
    for (int set = 0; set < 10; ++set) {
        const LoneTaps clean = TapPiece(random, 300, 15.0, 0.0);
        LoneTaps spiked = clean;
        spiked.taps[100] += 110.0;
        spiked.taps[200] -= 120.0;
        const std::vector<double> a = SmoothOne(clean.taps);
        const std::vector<double> b = SmoothOne(spiked.taps);
        for (const size_t at : {size_t{100}, size_t{200}}) {
            EXPECT_LT(std::fabs(b[at] - a[at]), 45.0) << "set " << set << " beat " << at;
            for (size_t i = at - 5; i <= at + 5; ++i) {
                if (i != at) {
                    EXPECT_LT(std::fabs(b[i] - a[i]), 8.0) << "set " << set << " beat " << i;
                }
            }
        }
    }
}

// Among beats held on their onsets, an unsure beat's tap is all that says
// where it lies: one the music itself places 90 ms late between two held
// beats is not taken for a tap far off and moved to the line between them
// (90 ms), but stays within 2.5 times its tapping noise of its tap.
TEST(BeatSmoothing, UnsureBeatBetweenHeldOnesKeepsItsTap)
{
    TakeRandom random(83);
    for (int set = 0; set < 10; ++set) {
        LoneTaps t = TapPiece(random, 200, 15.0, 0.0);
        // The music places the beat late, and the tap follows it.
        const size_t late = 100;
        t.piece[late] += 90.0;
        t.taps[late] += 90.0;
        // Every fourth beat and that one unsure, at its tap less the taps'
        // own offset; the others held on their onsets.
        const double offset = t.taps[0] - t.piece[0];
        std::vector<bool> held(t.piece.size(), true);
        std::vector<double> beats(t.piece);
        for (size_t i = 0; i < held.size(); ++i)
            if (i % 4 == 3 || i == late) {
                held[i] = false;
                beats[i] = t.taps[i] - offset;
            }
        const Take take = TakeOf(t.taps);
        const std::vector<double> smoothed = SmoothBeatTimes(beats, TakeList{&take}, SmoothingAuto, held);
        EXPECT_LT(std::fabs(smoothed[late] - beats[late]), 2.5 * 25.0) << "set " << set;
    }
}

// Music that broadens every eighth beat by 8 % (a phrase's end, a bar's
// last beat held) keeps its broadening through the smoothing of one take,
// where a smoother of the tempo alone pulls it back; music without one gets
// none put in.
TEST(BeatSmoothing, RepeatedBroadeningKept)
{
    TakeRandom random(79);
    const auto excess = [](const std::vector<double>& times, size_t phase) {
        double at = 0.0, atCount = 0.0, rest = 0.0, restCount = 0.0;
        for (size_t k = 0; k + 1 < times.size(); ++k) {
            const double length = times[k + 1] - times[k];
            if (k % 8 == phase) {
                at += length;
                atCount += 1.0;
            } else {
                rest += length;
                restCount += 1.0;
            }
        }
        return at / atCount - rest / restCount;
    };
    for (int set = 0; set < 10; ++set) {
        const LoneTaps broad = TapPiece(random, 480, 20.0, 40.0);
        const std::vector<double> kept = SmoothOne(broad.taps);
        // Of what the taps show of it, smoothed as a tempo alone, 5 % was
        // left.
        EXPECT_GT(excess(kept, 7), 0.8 * excess(broad.taps, 7)) << "set " << set;
        EXPECT_LT(BeatTimeError(kept, broad.piece), 0.6 * BeatTimeError(broad.taps, broad.piece)) << "set " << set;
        const LoneTaps plain = TapPiece(random, 480, 20.0, 0.0);
        const std::vector<double> smoothed = SmoothOne(plain.taps);
        for (size_t phase = 0; phase < 8; ++phase)
            EXPECT_LT(std::fabs(excess(smoothed, phase)), 6.0) << "set " << set << " phase " << phase;
    }
}

}  // namespace
