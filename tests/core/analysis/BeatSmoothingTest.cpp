// The smoothing of averaged beat times.
#include <gtest/gtest.h>

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
        TakeOptions options;
        options.LeastNoise = 15.0;
        options.MostNoise = 25.0;
        const Take take = GenerateTake(random, piece, SlipKind::None, options).Clean;
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
        TakeOptions options;
        options.LeastNoise = 20.0;
        options.MostNoise = 30.0;
        const Take take = GenerateTake(random, piece, SlipKind::None, options).Clean;
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

}  // namespace
