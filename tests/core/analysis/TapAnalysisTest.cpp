// The tap analysis: findings and repair on generated takes (a property
// suite), a few worked examples, the export pipeline's invariants, the
// smoothing, and the tap dialog's check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "TakeGenerator.h"
#include "TapAnalysis.h"
#include "TempoExport.h"
#include "TempoPipeline.h"

namespace {

std::vector<Finding> Slips(const TakeAnalysis& analysis)
{
    std::vector<Finding> slips;
    for (const Finding& f : analysis.Findings)
        if (f.Kind != FindingKind::Outlier)
            slips.push_back(f);
    return slips;
}

double Infinity()
{
    return std::numeric_limits<double>::infinity();
}

// Beat lengths of times.
std::vector<double> Lengths(const std::vector<double>& times)
{
    std::vector<double> lengths;
    for (size_t i = 1; i < times.size(); ++i)
        lengths.push_back(times[i] - times[i - 1]);
    return lengths;
}

double RmsDifference(const std::vector<double>& a, const std::vector<double>& b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / static_cast<double>(a.size()));
}

// Property suite over generated sets of five takes along one piece, steady
// and expressive: clean takes give no findings and repair leaves them as
// they are; a missed tap or a double tap injected into one take is found at
// its tap, and the repaired take has a tap on every beat, its own taps
// unchanged and the filled-in one near where the clean take had it.
TEST(TapAnalysisProperties, CleanTakesUntouchedAndSlipsFoundAndRepaired)
{
    for (uint32_t set = 1; set <= 24; ++set) {
        SCOPED_TRACE("set " + std::to_string(set));
        TakeRandom random(set);
        const PieceStyle style = set % 2 ? PieceStyle::Steady : PieceStyle::Expressive;
        const std::vector<double> piece = GeneratePiece(random, style, random.Between(150, 400));
        const SlipKind slip = set % 4 < 2 ? SlipKind::Missed : SlipKind::DoubleTap;
        std::vector<GeneratedTake> generated;
        for (int m = 0; m < 5; ++m)
            generated.push_back(GenerateTake(random, piece, m == 2 ? slip : SlipKind::None));

        std::vector<Take> clean;
        std::vector<Take> slipped;
        for (const GeneratedTake& g : generated) {
            clean.push_back(g.Clean);
            slipped.push_back(g.Slipped);
        }
        const TakeList cleanList = TakeListOf(clean);
        const Analysis cleanAnalysis = AnalyzeTakes(cleanList);
        for (size_t m = 0; m < clean.size(); ++m) {
            EXPECT_TRUE(Slips(cleanAnalysis.Takes[m]).empty()) << "clean take " << m;
            EXPECT_EQ(RepairTake(cleanList, cleanAnalysis, m), clean[m]) << "clean take " << m;
        }

        const TakeList slipList = TakeListOf(slipped);
        const Analysis analysis = AnalyzeTakes(slipList);
        for (size_t m = 0; m < slipped.size(); ++m) {
            const std::vector<Finding> found = Slips(analysis.Takes[m]);
            if (m != 2) {
                EXPECT_TRUE(found.empty()) << "take " << m;
                continue;
            }
            const GeneratedTake& g = generated[m];
            ASSERT_EQ(found.size(), 1u);
            if (slip == SlipKind::Missed) {
                EXPECT_EQ(found[0].Kind, FindingKind::Missed);
                EXPECT_EQ(found[0].Tap, g.SlipTap);
            } else {
                // Of a double tap either of the two may be the one dropped.
                EXPECT_EQ(found[0].Kind, FindingKind::Extra);
                EXPECT_TRUE(found[0].Tap == g.SlipTap || found[0].Tap + 1 == g.SlipTap) << found[0].Tap;
            }
            const Take repaired = RepairTake(slipList, analysis, m);
            ASSERT_EQ(repaired.size(), g.Clean.size());
            for (size_t i = 0; i < repaired.size(); ++i) {
                const double tolerance = slip == SlipKind::Missed && static_cast<int64_t>(i) == g.SlipTap + 1
                                             ? 90.0  // filled in from the consensus
                                         : slip == SlipKind::DoubleTap && static_cast<int64_t>(i) + 1 == g.SlipTap
                                             ? 121.0  // the second tap of the pair may have stayed
                                             : 0.0;
                EXPECT_LE(std::fabs(static_cast<double>(repaired[i]) - static_cast<double>(g.Clean[i])), tolerance)
                    << "tap " << i;
            }
        }
    }
}

// A take that came in two beats late is found to start on beat 2 against
// takes whose tempo bends beat by beat, and its repair fills in its first
// two beats from the others.
TEST(TapAnalysisProperties, LateStartFoundAndFilledIn)
{
    TakeRandom random(7);
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 300);
    std::vector<Take> takes;
    std::vector<GeneratedTake> generated;
    for (int m = 0; m < 4; ++m)
        generated.push_back(GenerateTake(random, piece, SlipKind::None));
    GeneratedTake late = GenerateTake(random, piece, SlipKind::None);
    late.Slipped.erase(late.Slipped.begin(), late.Slipped.begin() + 2);
    const uint32_t first = late.Slipped[0];
    for (uint32_t& t : late.Slipped)
        t -= first;
    for (const GeneratedTake& g : generated)
        takes.push_back(g.Clean);
    takes.push_back(late.Slipped);
    const TakeList list = TakeListOf(takes);
    const Analysis analysis = AnalyzeTakes(list);
    const std::vector<Finding> found = Slips(analysis.Takes[4]);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Kind, FindingKind::Start);
    EXPECT_EQ(found[0].Tap, 2);
    for (size_t m = 0; m < 4; ++m)
        EXPECT_TRUE(Slips(analysis.Takes[m]).empty());

    const Take repaired = RepairTake(list, analysis, 4);
    ASSERT_EQ(repaired.size(), late.Clean.size());
    EXPECT_EQ(repaired[0], 0u);
    // Its own taps keep their intervals; the two filled-in beats lie close
    // to where the take would have tapped them.
    for (size_t i = 3; i < repaired.size(); ++i)
        EXPECT_EQ(repaired[i] - repaired[2], late.Clean[i] - late.Clean[2]);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_NEAR(static_cast<double>(repaired[2] - repaired[i]),
                    static_cast<double>(late.Clean[2] - late.Clean[i]), 80.0);
}

// Worked examples: a steady take of 500 ms beats.
Take Steady(size_t taps, uint32_t beat = 500)
{
    Take take;
    // A little jitter, so the take has a scatter of its own.
    const int wobble[] = {0, 7, -5, 3, -8, 6, -2, 4};
    for (size_t i = 0; i < taps; ++i)
        take.push_back(static_cast<uint32_t>(static_cast<int>(i * beat) + 20 + wobble[i % 8]) - 20u);
    const uint32_t first = take[0];
    for (uint32_t& t : take)
        t -= first;
    return take;
}

TEST(TapAnalysisExamples, OneTakeMissedTapFilledBetweenItsNeighbours)
{
    Take take = Steady(24);
    const uint32_t gone = take[10];
    take.erase(take.begin() + 10);  // 4500 ... 5500: beat 10 is missing
    const TakeList list{&take};
    const Analysis analysis = AnalyzeTakes(list);
    ASSERT_EQ(analysis.Takes[0].Findings.size(), 1u);
    EXPECT_EQ(analysis.Takes[0].Findings[0].Kind, FindingKind::Missed);
    EXPECT_EQ(analysis.Takes[0].Findings[0].Tap, 9);
    EXPECT_EQ(analysis.Takes[0].Findings[0].Beats, 1);
    const Take repaired = RepairTake(list, analysis, 0);
    ASSERT_EQ(repaired.size(), 24u);
    // Split in the proportions of the beats on either side: near beat 10
    // (5000 ms), whatever the jitter the missing tap would have had (here
    // gone - 5000).
    EXPECT_NEAR(static_cast<double>(repaired[10]), 5000.0, 15.0);
    EXPECT_NE(gone, 5000u);
    EXPECT_EQ(repaired[9], take[9]);
    EXPECT_EQ(repaired[11], take[10]);
}

TEST(TapAnalysisExamples, DoubleTapDroppedAndAcceptanceRespected)
{
    Take take = Steady(24);
    take.insert(take.begin() + 13, take[12] + 70);  // a second tap 70 ms after tap 12
    const TakeList list{&take};
    const Analysis analysis = AnalyzeTakes(list);
    ASSERT_EQ(analysis.Takes[0].Findings.size(), 1u);
    EXPECT_EQ(analysis.Takes[0].Findings[0].Kind, FindingKind::Extra);
    EXPECT_EQ(analysis.Takes[0].Findings[0].Tap, 13);
    EXPECT_EQ(analysis.Takes[0].BeatOfTap[13], ExtraTap);
    EXPECT_EQ(RepairTake(list, analysis, 0), Steady(24));
    // A rejected finding changes nothing.
    const std::vector<bool> rejected{false};
    EXPECT_EQ(RepairTake(list, analysis, 0, &rejected), take);
}

TEST(TapAnalysisExamples, HeldBeatAllTakesShareIsMusicNotASlip)
{
    // Three takes hold beat 12 for two beats' time, as a fermata.
    std::vector<Take> takes;
    for (int m = 0; m < 3; ++m) {
        Take take = Steady(30);
        for (size_t i = 13; i < take.size(); ++i)
            take[i] += 500 + 3 * static_cast<uint32_t>(m);
        takes.push_back(take);
    }
    const TakeList list = TakeListOf(takes);
    const Analysis analysis = AnalyzeTakes(list);
    for (const TakeAnalysis& t : analysis.Takes)
        EXPECT_TRUE(Slips(t).empty());
    // Alone, the same take cannot tell: the long beat is a suggestion.
    const TakeList alone{&takes[0]};
    const Analysis aloneAnalysis = AnalyzeTakes(alone);
    ASSERT_EQ(Slips(aloneAnalysis.Takes[0]).size(), 1u);
    EXPECT_EQ(aloneAnalysis.Takes[0].Findings[0].Kind, FindingKind::Missed);
}

TEST(TapAnalysisExamples, OutlierIsAdviceOnly)
{
    Take take = Steady(40);
    take[20] += 230;  // far off its beat, but no slip
    const TakeList list{&take};
    const Analysis analysis = AnalyzeTakes(list);
    ASSERT_EQ(analysis.Takes[0].Findings.size(), 1u);
    EXPECT_EQ(analysis.Takes[0].Findings[0].Kind, FindingKind::Outlier);
    EXPECT_EQ(analysis.Takes[0].Findings[0].Tap, 20);
    EXPECT_EQ(RepairTake(list, analysis, 0), take);
}

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

TEST(TapMonitor, TempoDeviationAndWarnings)
{
    const Take listed = Steady(40);
    TapMonitor monitor(TakeList{&listed});
    TapMonitor::Feedback f = monitor.Add(1000);
    EXPECT_TRUE(f.HasDeviation);
    f = monitor.Add(1500);
    EXPECT_NEAR(f.Bpm, 120.0, 0.01);
    EXPECT_EQ(f.Warn, TapMonitor::Warning::None);
    f = monitor.Add(2040);  // 40 ms late against the listed beat 2 (1000 ms)
    // (against the take's own running lateness, here under a millisecond)
    EXPECT_NEAR(f.DeviationMs, 40.0 - (static_cast<double>(listed[2]) - 1000.0), 1.0);
    f = monitor.Add(2100);  // 60 ms after the last: an extra tap
    EXPECT_EQ(f.Warn, TapMonitor::Warning::Extra);
    f = monitor.Add(3020);  // beat 4 (2000 ms) skipped: missed
    EXPECT_EQ(f.Warn, TapMonitor::Warning::Missed);
    EXPECT_EQ(f.Taps, 5);

    // An extra tap leaves the deviations of the taps after it alone.
    TapMonitor again(TakeList{&listed});
    for (size_t i = 0; i < 12; ++i) {
        f = again.Add(1000 + listed[i]);
        if (i == 5) {
            EXPECT_EQ(again.Add(1000 + listed[i] + 140).Warn, TapMonitor::Warning::Extra);
        }
        EXPECT_EQ(f.Warn, TapMonitor::Warning::None) << i;
        EXPECT_NEAR(f.DeviationMs, 0.0, 0.5) << i;
    }

    // Without listed takes it judges by its own recent tempo.
    TapMonitor alone{TakeList{}};
    alone.Add(0);
    alone.Add(400);
    EXPECT_FALSE(alone.Add(800).HasDeviation);
    EXPECT_EQ(alone.Add(1700).Warn, TapMonitor::Warning::Missed);
}

}  // namespace
