// The one road from takes to bytes: with the options off the export of
// before, with them on finite times whatever the takes, and the findings a
// musician turned down left alone by the repair.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../analysis/AnalysisTestSupport.h"
#include "TakeGenerator.h"
#include "TapAnalysis.h"
#include "TempoExport.h"
#include "TempoPipeline.h"

namespace {

using namespace analysis_test;

// With both options off the pipeline is the plain computation, byte for
// byte; with repair on, clean takes of two or fewer give the same beats as
// the plain average; any option on, everything stays finite and ordered.
TEST(TempoPipeline, OptionsOffAreTheExportOfBefore)
{
    TakeRandom random(3);
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 120);
    std::vector<Take> takes;
    for (int m = 0; m < 3; ++m)
        takes.push_back(GenerateTake(random, piece, m == 1 ? SlipKind::EarlyStop : SlipKind::None).Slipped);
    const TakeList list = TakeListOf(takes);
    for (int q = 0; q <= MaxInterpCount; ++q)
        for (int b = 0; b <= MaxTimeSigBase; ++b)
            ASSERT_EQ(ExportTempoBytes(list, q, b, AnalysisOptions()), ExportTempoBytes(list, q, b));
    AnalysisOptions repair;
    repair.Repair = true;
    const std::vector<double> robust = BeatTimesForExport(TakeList{&takes[0], &takes[2]}, repair);
    const std::vector<double> plain = AverageTakes(TakeList{&takes[0], &takes[2]});
    ASSERT_EQ(robust.size(), plain.size());
    EXPECT_LT(RmsDifference(Lengths(robust), Lengths(plain)), 1e-6);
}

TEST(TempoPipeline, HostileTakesGiveFiniteTimes)
{
    std::mt19937 engine(11);
    for (int round = 0; round < 200; ++round) {
        std::vector<Take> takes(1 + engine() % 4);
        for (Take& take : takes) {
            const size_t n = 2 + engine() % 40;
            for (size_t i = 0; i < n; ++i)
                take.push_back(static_cast<uint32_t>(engine() % 3 == 0 ? engine() : i * (engine() % 900)));
            NormalizeTake(take);
        }
        const TakeList list = TakeListOf(takes);
        const Analysis analysis = AnalyzeTakes(list);
        for (size_t m = 0; m < takes.size(); ++m)
            EXPECT_GE(RepairTake(list, analysis, m).size(), 1u);
        for (const int smoothing : {SmoothingNone, SmoothingAuto, 1, 10}) {
            AnalysisOptions options;
            options.Repair = round % 2 == 0;
            options.Smoothing = smoothing;
            for (const double t : BeatTimesForExport(list, options))
                ASSERT_TRUE(std::isfinite(t));
            EXPECT_FALSE(ExportTempoBytes(list, 3, 2, options).empty());
        }
    }
}

// Repair on export leaves a turned-down finding alone: turning down the
// missed tap of a take gives the export of that take unrepaired, and a key
// that names no finding changes nothing.
TEST(TempoPipeline, RejectedFindingsAreLeftAloneByTheRepair)
{
    TakeRandom random(77);
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 120);
    std::vector<Take> takes;
    for (int m = 0; m < 4; ++m)
        takes.push_back(GenerateTake(random, piece, m == 1 ? SlipKind::Missed : SlipKind::None).Slipped);
    TakeList list = TakeListOf(takes);
    const Analysis analysis = AnalyzeTakes(list);
    ASSERT_FALSE(analysis.Takes[1].Findings.empty());

    AnalysisOptions repair;
    repair.Repair = true;
    const std::vector<uint8_t> all = ExportTempoBytes(list, 3, 2, repair);

    AnalysisOptions unknown = repair;
    unknown.Rejected.resize(4);
    unknown.Rejected[1].push_back(FindingKey{FindingKind::Extra, 99999});
    EXPECT_EQ(ExportTempoBytes(list, 3, 2, unknown), all);

    AnalysisOptions turnedDown = repair;
    turnedDown.Rejected.resize(2);  // shorter than the takes: the rest have none
    for (const Finding& finding : analysis.Takes[1].Findings)
        turnedDown.Rejected[1].push_back(KeyOf(finding));
    const std::vector<uint8_t> kept = ExportTempoBytes(list, 3, 2, turnedDown);
    EXPECT_NE(kept, all);
    const std::vector<double> beats = BeatTimesForExport(list, turnedDown);
    // The take with its beat still missing is one beat short of the others.
    std::vector<double> expectedBeats;
    {
        std::vector<Take> repaired;
        for (size_t m = 0; m < list.size(); ++m) {
            const std::vector<bool> accepted = AcceptedFindings(analysis.Takes[m], m == 1 ? turnedDown.Rejected[1]
                                                                                           : std::vector<FindingKey>());
            repaired.push_back(RepairTake(list, analysis, m, &accepted));
        }
        EXPECT_EQ(repaired[1], takes[1]);
        TakeList aligned = TakeListOf(repaired);
        expectedBeats = AverageAlignedTakes(aligned);
    }
    EXPECT_EQ(beats, expectedBeats);
}

}  // namespace

namespace {

// The same takes in any order: the same findings for every take, and the
// same repaired and smoothed bytes. Steady pieces with late starts are where
// two placings fit alike and the order of the takes used to decide.
TEST(TempoPipelineOrder, ShuffledTakesGiveTheSameFindingsAndBytes)
{
    TakeRandom random(4242);
    const SlipKind slips[] = {SlipKind::None, SlipKind::LateStart, SlipKind::Missed, SlipKind::DoubleTap,
                              SlipKind::EarlyStop};
    for (int set = 0; set < 60; ++set) {
        SCOPED_TRACE("set " + std::to_string(set));
        const PieceStyle style = set % 3 == 0 ? PieceStyle::Expressive : PieceStyle::Steady;
        const std::vector<double> piece = GeneratePiece(random, style, 40 + random.Between(0, 40));
        std::vector<Take> takes;
        for (int m = 0; m < 5; ++m)
            takes.push_back(GenerateTake(random, piece, random.Chance(0.5) ? SlipKind::LateStart : slips[random.Between(0, 4)]).Slipped);

        const TakeList list = TakeListOf(takes);
        const Analysis first = AnalyzeTakes(list);
        AnalysisOptions options;
        options.Repair = true;
        options.Smoothing = SmoothingAuto;
        const std::vector<uint8_t> bytes = ExportTempoBytes(list, 2, 2, options);

        std::vector<size_t> order = {0, 1, 2, 3, 4};
        for (int shuffle = 0; shuffle < 3; ++shuffle) {
            for (size_t i = order.size() - 1; i > 0; --i)
                std::swap(order[i], order[static_cast<size_t>(random.Between(0, static_cast<int>(i)))]);
            TakeList shuffled;
            for (size_t m : order)
                shuffled.push_back(&takes[m]);
            const Analysis again = AnalyzeTakes(shuffled);
            for (size_t i = 0; i < order.size(); ++i) {
                const TakeAnalysis& a = first.Takes[order[i]];
                const TakeAnalysis& b = again.Takes[i];
                ASSERT_EQ(a.Findings.size(), b.Findings.size()) << "take " << order[i];
                for (size_t f = 0; f < a.Findings.size(); ++f) {
                    EXPECT_EQ(a.Findings[f].Kind, b.Findings[f].Kind);
                    EXPECT_EQ(a.Findings[f].Tap, b.Findings[f].Tap);
                    EXPECT_EQ(a.Findings[f].Beats, b.Findings[f].Beats);
                }
                EXPECT_EQ(a.BeatOfTap, b.BeatOfTap);
            }
            EXPECT_TRUE(bytes == ExportTempoBytes(shuffled, 2, 2, options)) << "shuffle " << shuffle;
        }
    }
}

}  // namespace
