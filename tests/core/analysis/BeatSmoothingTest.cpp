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

}  // namespace
