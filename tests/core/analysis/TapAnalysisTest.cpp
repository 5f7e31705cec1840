// The tap analysis: findings and repair on generated takes (a property
// suite), a few worked examples, and turned-down findings through a repair.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "AnalysisTestSupport.h"
#include "TakeGenerator.h"
#include "TapAnalysis.h"

namespace {

using analysis_test::Steady;

std::vector<Finding> Slips(const TakeAnalysis& analysis)
{
    std::vector<Finding> slips;
    for (const Finding& f : analysis.Findings)
        if (f.Kind != FindingKind::Outlier)
            slips.push_back(f);
    return slips;
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

// Alone, a take of steady music shows its tapper's scatter, and a missed
// tap in it is believed as far from two whole beats as that scatter puts
// it, while clean steady takes still get no missed or extra finding. Over
// generated steady pieces tapped with 15 to 30 ms of noise.
TEST(TapAnalysisProperties, LoneSteadyTakeFindsMissedTapsAndNoFalseOnes)
{
    TakeRandom random(4242);
    const int count = 40;
    int found = 0;
    int falseFindings = 0;
    for (int set = 0; set < count; ++set) {
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, random.Between(200, 500));
        const GeneratedTake missed = GenerateTake(random, piece, SlipKind::Missed);
        for (const Finding& f : Slips(AnalyzeTakes(TakeList{&missed.Slipped}).Takes[0]))
            found += f.Kind == FindingKind::Missed && f.Tap == missed.SlipTap ? 1 : 0;
        const Take clean = GenerateTake(random, piece, SlipKind::None).Clean;
        falseFindings += static_cast<int>(Slips(AnalyzeTakes(TakeList{&clean}).Takes[0]).size());
    }
    // 28 of 40 found; 19 when steady takes were held to the limits of any
    // other (3 % from two beats, stretches within 5 %).
    EXPECT_GE(found, 25);
    EXPECT_EQ(0, falseFindings);
}

// A missed tap early in an expressive take, where the take's own reading
// cannot tell it from a held beat, and a double tap early in another: the
// start matching still places both takes on beat 0 (every later beat of
// such an opening would otherwise fit one beat off, and in music whose
// beats change smoothly a beat off fits nearly as well), and the slips are
// found where they are. Over generated sets of five takes, one missing a
// tap and one with a double tap, each among its first 30 (when openings
// were matched whole, or split at intervals near two beats, 29 of 40 were
// placed right and 27 had every tap on its beat; now 40 and 38).
TEST(TapAnalysisProperties, EarlyMissedTapDoesNotMoveTheStart)
{
    TakeRandom random(2024);
    const int count = 40;
    int placed = 0;
    int found = 0;
    int matched = 0;
    for (int set = 0; set < count; ++set) {
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, random.Between(200, 400));
        std::vector<Take> takes;
        for (int m = 0; m < 5; ++m)
            takes.push_back(GenerateTake(random, piece, SlipKind::None).Clean);
        const size_t gone = static_cast<size_t>(random.Between(6, 30));
        takes[2].erase(takes[2].begin() + static_cast<std::ptrdiff_t>(gone));
        const size_t doubled = static_cast<size_t>(random.Between(6, 30));
        takes[3].insert(takes[3].begin() + static_cast<std::ptrdiff_t>(doubled) + 1,
                        takes[3][doubled] + static_cast<uint32_t>(random.Between(40, 120)));
        const Analysis analysis = AnalyzeTakes(TakeListOf(takes));
        bool start = false;
        bool missed = false;
        for (const size_t m : {size_t{2}, size_t{3}})
            for (const Finding& f : Slips(analysis.Takes[m]))
                start = start || f.Kind == FindingKind::Start;
        for (const Finding& f : Slips(analysis.Takes[2]))
            missed = missed || (f.Kind == FindingKind::Missed && f.Tap == static_cast<int64_t>(gone) - 1);
        placed += start ? 0 : 1;
        found += missed ? 1 : 0;
        // Every tap on its beat: of the double tap either tap extra, the
        // missed tap's neighbours a beat apart.
        bool right = true;
        for (size_t m = 0; m < 5; ++m) {
            std::vector<int64_t> beats = analysis.Takes[m].BeatOfTap;
            if (m == 3 && beats[doubled] == ExtraTap)
                std::swap(beats[doubled], beats[doubled + 1]);
            for (size_t i = 0; i < beats.size(); ++i) {
                int64_t truth = static_cast<int64_t>(i);
                if (m == 2 && i >= gone)
                    truth += 1;
                if (m == 3 && i > doubled)
                    truth = i == doubled + 1 ? ExtraTap : truth - 1;
                right = right && beats[i] == truth;
            }
        }
        matched += right ? 1 : 0;
    }
    EXPECT_GE(placed, count - 2);
    EXPECT_GE(found, count - 2);
    EXPECT_GE(matched, count - 3);
}

// A double tap a fifth of a beat after its tap, in fast music tapped
// loosely: against the other takes the second tap is extra, and every tap
// after it stays on its beat. Read by its intervals alone, keeping it as a
// beat cost less than the price of an extra tap once the take's scatter
// capped what its short interval costs, and the rest of the take went a
// beat late without a finding (18 of 30 sets right then).
TEST(TapAnalysisProperties, DoubleTapAFifthOfABeatLateIsExtra)
{
    TakeRandom random(2031);
    const int count = 30;
    int right = 0;
    for (int set = 0; set < count; ++set) {
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 200, FastPiece());
        std::vector<Take> takes;
        for (int m = 0; m < 5; ++m)
            takes.push_back(GenerateTake(random, piece, SlipKind::None, TakeOptions{25.0, 30.0}).Clean);
        const size_t at = static_cast<size_t>(random.Between(40, 160));
        const uint32_t gap = takes[1][at + 1] - takes[1][at];
        takes[1].insert(takes[1].begin() + static_cast<std::ptrdiff_t>(at) + 1, takes[1][at] + gap / 5);
        const Analysis analysis = AnalyzeTakes(TakeListOf(takes));
        const std::vector<int64_t>& beats = analysis.Takes[1].BeatOfTap;
        // Either tap of the two may be the one kept.
        const int64_t own = static_cast<int64_t>(at);
        bool ok = (beats[at] == own && beats[at + 1] == ExtraTap) || (beats[at] == ExtraTap && beats[at + 1] == own);
        for (size_t i = at + 2; i < beats.size(); ++i)
            ok = ok && beats[i] == static_cast<int64_t>(i) - 1;
        right += ok ? 1 : 0;
    }
    EXPECT_GE(right, count - 2);
}

// In steady music a take that came in a beat or two late fits about as
// well where it is as where it belongs: such a start is reported as
// undetermined, with no start finding. A placing not marked so is a claim,
// and a claim must be right. In expressive music the beats' own lengths
// tell the starts apart, and a late start is still found.
TEST(TapAnalysisProperties, StartsAreClaimedOnlyWhereTheTapsTellThem)
{
    TakeRandom random(2026);
    int claims = 0;
    int undetermined = 0;
    for (int set = 0; set < 40; ++set) {
        SCOPED_TRACE("set " + std::to_string(set));
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, 60 + random.Between(0, 60));
        std::vector<GeneratedTake> generated;
        std::vector<Take> takes;
        for (int m = 0; m < 5; ++m) {
            generated.push_back(GenerateTake(random, piece, m < 2 ? SlipKind::LateStart : SlipKind::None));
            takes.push_back(generated.back().Slipped);
        }
        const Analysis analysis = AnalyzeTakes(TakeListOf(takes));
        // Where the takes' grid starts: the on-time takes' first beat.
        const int64_t origin = analysis.Takes[4].BeatOfTap[0];
        for (size_t m = 0; m < 5; ++m) {
            const TakeAnalysis& result = analysis.Takes[m];
            bool hasStart = false;
            for (const Finding& f : result.Findings)
                hasStart = hasStart || f.Kind == FindingKind::Start;
            if (result.StartUndetermined) {
                ++undetermined;
                EXPECT_FALSE(hasStart) << "take " << m << ": an undetermined start is no finding";
                continue;
            }
            ++claims;
            EXPECT_EQ(generated[m].BeatOfTap[0], result.BeatOfTap[0] - origin) << "take " << m;
        }
    }
    // Both happen on these sets: claims that must hold, and starts left open.
    EXPECT_GT(claims, 0);
    EXPECT_GT(undetermined, 0);

    // Expressive: a take two beats late is told, and found.
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 200);
    std::vector<Take> takes;
    for (int m = 0; m < 4; ++m)
        takes.push_back(GenerateTake(random, piece, SlipKind::None).Clean);
    Take late = GenerateTake(random, piece, SlipKind::None).Clean;
    late.erase(late.begin(), late.begin() + 2);
    NormalizeTake(late);
    takes.push_back(late);
    const Analysis analysis = AnalyzeTakes(TakeListOf(takes));
    EXPECT_FALSE(analysis.Takes[4].StartUndetermined);
    EXPECT_EQ(2, analysis.Takes[4].StartBeat);
}

// Alone, a take is read cautiously. In a steady take a missed tap and a
// double tap are still found, and a tap a third of a beat off is an
// outlier; in a take whose tempo bends beat by beat, a held beat (1.6
// beats) and a shortened one (0.55) are music: no missed, extra or outlier
// finding, and the take is read one tap per beat.
TEST(TapAnalysisExamples, OneTakeFindsSlipsInSteadyTimeAndLeavesExpressiveTimeAlone)
{
    // A steady take with one tap 200 ms (0.4 beats) late.
    Take off = Steady(32);
    off[16] += 200;
    Analysis analysis = AnalyzeTakes(TakeList{&off});
    ASSERT_EQ(1u, analysis.Takes[0].Findings.size());
    EXPECT_EQ(FindingKind::Outlier, analysis.Takes[0].Findings[0].Kind);
    EXPECT_EQ(16, analysis.Takes[0].Findings[0].Tap);

    // Rubato: every beat 4 to 8 % off the one before, around 600 ms, with a
    // held beat and a shortened one among them.
    Take bending{0};
    double length = 600.0;
    const double bends[] = {1.06, 0.95, 1.08, 0.93, 1.05, 0.96, 1.07, 0.94};
    for (int beat = 1; beat < 40; ++beat) {
        length *= bends[beat % 8];
        length = std::clamp(length, 480.0, 720.0);
        double here = length;
        if (beat == 14)
            here *= 1.6;  // held
        if (beat == 26)
            here *= 0.55;  // shortened
        bending.push_back(bending.back() + static_cast<uint32_t>(here));
    }
    analysis = AnalyzeTakes(TakeList{&bending});
    EXPECT_TRUE(analysis.Takes[0].Findings.empty()) << analysis.Takes[0].Findings.size() << " findings, the first "
                                                    << FindingKindName(analysis.Takes[0].Findings.empty() ? FindingKind::Missed : analysis.Takes[0].Findings[0].Kind);
    for (size_t i = 0; i < bending.size(); ++i)
        EXPECT_EQ(static_cast<int64_t>(i), analysis.Takes[0].BeatOfTap[i]);

    // The same held beat in steady time is still a held beat, and a missed
    // tap there is found: two whole beats in the flow.
    Take missed = Steady(32);
    missed.erase(missed.begin() + 12);
    analysis = AnalyzeTakes(TakeList{&missed});
    ASSERT_EQ(1u, Slips(analysis.Takes[0]).size());
    EXPECT_EQ(FindingKind::Missed, Slips(analysis.Takes[0])[0].Kind);

    // In time that wavers by a tapper's 2 to 3 %, a beat held to 1.85 is a
    // hold, not two beats; a missed tap there (two beats within their noise)
    // is still found, and so is a double tap 60 ms after its tap even where
    // the taps scatter by 7 % (a careless tapper on fast music).
    const auto wavering = [](int beats, double beat, double share) {
        Take take{0};
        const double wobble[] = {1.0, 1.0, -1.0, 0.5, -0.5, -1.0, 1.0, -0.5};
        double at = 0.0;
        for (int i = 1; i < beats; ++i) {
            at += beat * (1.0 + share * wobble[i % 8]);
            take.push_back(static_cast<uint32_t>(at));
        }
        return take;
    };
    Take held = wavering(40, 500.0, 0.025);
    for (size_t i = 21; i < held.size(); ++i)
        held[i] += 425;
    analysis = AnalyzeTakes(TakeList{&held});
    EXPECT_TRUE(Slips(analysis.Takes[0]).empty());
    Take gap = wavering(40, 500.0, 0.025);
    gap.erase(gap.begin() + 20);
    analysis = AnalyzeTakes(TakeList{&gap});
    ASSERT_EQ(1u, Slips(analysis.Takes[0]).size());
    EXPECT_EQ(FindingKind::Missed, Slips(analysis.Takes[0])[0].Kind);
    EXPECT_EQ(19, Slips(analysis.Takes[0])[0].Tap);
    Take doubled = wavering(40, 300.0, 0.07);
    doubled.insert(doubled.begin() + 21, doubled[20] + 60);
    analysis = AnalyzeTakes(TakeList{&doubled});
    ASSERT_EQ(1u, Slips(analysis.Takes[0]).size());
    EXPECT_EQ(FindingKind::Extra, Slips(analysis.Takes[0])[0].Kind);
    EXPECT_EQ(21, Slips(analysis.Takes[0])[0].Tap);
}

// On generated single takes, clean ones, steady and expressive with held
// and shortened beats anywhere: a missed or extra finding on one take is a
// claim made only on strong evidence, so it stays very rare, and outliers
// rarer still.
TEST(TapAnalysisProperties, LoneCleanTakesGetFewFindings)
{
    TakeRandom random(99);
    int takesWithSlips = 0;
    int outliers = 0;
    size_t taps = 0;
    const int count = 80;
    PieceOptions options;
    options.HeldAndShortened = true;
    for (int set = 0; set < count; ++set) {
        const std::vector<double> piece =
            GeneratePiece(random, set % 2 == 0 ? PieceStyle::Expressive : PieceStyle::Steady, 300, options);
        const Take take = GenerateTake(random, piece, SlipKind::None).Clean;
        const Analysis analysis = AnalyzeTakes(TakeList{&take});
        taps += take.size();
        takesWithSlips += Slips(analysis.Takes[0]).empty() ? 0 : 1;
        outliers += static_cast<int>(analysis.Takes[0].Findings.size() - Slips(analysis.Takes[0]).size());
    }
    EXPECT_LE(takesWithSlips, count / 40);
    EXPECT_LE(static_cast<double>(outliers), 1.0 * static_cast<double>(taps) / 1000.0);
}

// Alone, a take of music that bends its tempo beat by beat cannot tell a
// beat held to two from a missed tap, even in a passage that keeps one
// tempo: over generated expressive pieces with such a passage, no take is
// told it missed a tap, while a double tap 50 ms after a tap of such a take
// is still found.
TEST(TapAnalysisProperties, LoneExpressiveTakeHoldsTwoBeatsAsMusicAndStillFindsDoubleTaps)
{
    TakeRandom random(123);
    const int count = 40;
    int missed = 0;
    int doublesFound = 0;
    for (int set = 0; set < count; ++set) {
        // A passage of eight beats each side at one tempo, the middle one
        // held to two: what a missed tap in steady time looks like.
        const std::vector<double> bent = GeneratePiece(random, PieceStyle::Expressive, 300);
        const size_t hold = static_cast<size_t>(random.Between(40, 260));
        const double beat = bent[hold + 1] - bent[hold];
        std::vector<double> piece(bent.begin(), bent.begin() + static_cast<std::ptrdiff_t>(hold) - 7);
        for (int i = -7; i <= 8; ++i)
            piece.push_back(piece.back() + (i == 1 ? 2.0 * beat : beat));
        for (size_t j = hold + 10; j < bent.size(); ++j)
            piece.push_back(piece.back() + bent[j] - bent[j - 1]);
        const Take held = GenerateTake(random, piece, SlipKind::None).Clean;
        const Analysis heldAnalysis = AnalyzeTakes(TakeList{&held});
        for (const Finding& f : Slips(heldAnalysis.Takes[0]))
            missed += f.Kind == FindingKind::Missed ? 1 : 0;

        Take doubled = held;
        const size_t at = static_cast<size_t>(random.Between(20, 280));
        doubled.insert(doubled.begin() + static_cast<std::ptrdiff_t>(at) + 1, doubled[at] + 50);
        const Analysis doubledAnalysis = AnalyzeTakes(TakeList{&doubled});
        for (const Finding& f : Slips(doubledAnalysis.Takes[0]))
            doublesFound += f.Kind == FindingKind::Extra && (f.Tap == static_cast<int64_t>(at) || f.Tap == static_cast<int64_t>(at) + 1) ? 1 : 0;
    }
    EXPECT_EQ(0, missed);
    EXPECT_GE(doublesFound, count * 3 / 4);
}

// Half beats that every take taps are music, as a held beat that every take
// holds is: the taps on them are beats of their own, not extra taps. A
// double tap of one take beside them is still extra.
TEST(TapAnalysisProperties, ShortBeatsEveryTakeTapsAreMusic)
{
    int setsReadAsExtra = 0;
    int doubleTapsFound = 0;
    const int sets = 30;
    for (int set = 0; set < sets; ++set) {
        TakeRandom random(static_cast<uint32_t>(700 + set));
        const std::vector<double> piece =
            GeneratePiece(random, set % 2 == 0 ? PieceStyle::Steady : PieceStyle::Expressive, 80);
        std::vector<double> withHalves;
        std::vector<size_t> halves;
        for (size_t j = 0; j < piece.size(); ++j) {
            withHalves.push_back(piece[j]);
            if ((j == 24 || j == 44 || j == 64) && j + 1 < piece.size()) {
                halves.push_back(withHalves.size());
                withHalves.push_back((piece[j] + piece[j + 1]) * 0.5);
            }
        }
        std::vector<Take> takes;
        for (int m = 0; m < 5; ++m)
            takes.push_back(GenerateTake(random, withHalves, SlipKind::None).Clean);
        // One take taps twice, 60 ms apart, on beat 34.
        takes[2].insert(takes[2].begin() + 35, takes[2][34] + 60);
        const Analysis analysis = AnalyzeTakes(TakeListOf(takes));
        bool extraOnAHalf = false;
        for (size_t m = 0; m < 5; ++m)
            for (const Finding& f : analysis.Takes[m].Findings) {
                const size_t tap = static_cast<size_t>(f.Tap);
                const bool onHalf = std::find(halves.begin(), halves.end(), m == 2 && tap > 35 ? tap - 1 : tap) != halves.end();
                extraOnAHalf = extraOnAHalf || (f.Kind == FindingKind::Extra && onHalf);
                doubleTapsFound += m == 2 && f.Kind == FindingKind::Extra && tap == 35 ? 1 : 0;
            }
        setsReadAsExtra += extraOnAHalf ? 1 : 0;
    }
    EXPECT_LE(setsReadAsExtra, sets / 10);
    EXPECT_GE(doubleTapsFound, sets * 8 / 10);
}

// A tap half a half-beat late lies as near that half-beat's end as its own
// beat: it is still its own beat's tap (taps come one a beat), not an extra
// tap beside a missed one. Over generated sets of five takes with half-beats
// every take taps, one take's tap before each half-beat that late (its own
// error on top): every tap on its beat in two sets of three (23 of 30; 13
// when the nearest beat decided).
TEST(TapAnalysisProperties, TapHalfAHalfBeatLateStaysOnItsBeat)
{
    const int sets = 30;
    int matched = 0;
    for (int set = 0; set < sets; ++set) {
        TakeRandom random(static_cast<uint32_t>(900 + set));
        PieceOptions options;
        options.HalfBeats = 3;
        const std::vector<double> piece =
            GeneratePiece(random, set % 2 == 0 ? PieceStyle::Steady : PieceStyle::Expressive, 200, options);
        const std::vector<double> local = LocalMedianLengths(piece);
        std::vector<Take> takes;
        for (int m = 0; m < 5; ++m)
            takes.push_back(GenerateTake(random, piece, SlipKind::None).Clean);
        for (size_t j = 1; j + 1 < piece.size(); ++j)
            if (piece[j + 1] - piece[j] < 0.7 * local[j])
                takes[3][j] += static_cast<uint32_t>(0.5 * (piece[j + 1] - piece[j]));
        const Analysis analysis = AnalyzeTakes(TakeListOf(takes));
        bool all = true;
        for (const TakeAnalysis& t : analysis.Takes)
            for (size_t i = 0; i < t.BeatOfTap.size(); ++i)
                all = all && t.BeatOfTap[i] == static_cast<int64_t>(i);
        matched += all ? 1 : 0;
    }
    EXPECT_GE(matched, sets * 2 / 3);
}

// Worked examples: steady takes of 500 ms beats.
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

// A finding turned down stays turned down when the take is repaired with
// the others: its key moves with its tap, and the analysis of the repaired
// take names it again under that key. Over generated takes, each with a
// missed tap and a double tap, turning down one and repairing the other.
TEST(TapAnalysis, TurnedDownFindingsFollowTheirTapThroughARepair)
{
    int checked = 0;
    for (uint32_t set = 1; set <= 24; ++set) {
        TakeRandom random(set);
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, 80);
        std::vector<Take> takes;
        for (int m = 0; m < 4; ++m)
            takes.push_back(GenerateTake(random, piece, SlipKind::None).Slipped);
        // Take 2: the beat after tap 20 missed, a second tap 90 ms after tap 50.
        Take& slipped = takes[2];
        slipped.insert(slipped.begin() + 51, slipped[50] + 90);
        slipped.erase(slipped.begin() + 21);
        TakeList list = TakeListOf(takes);
        const Analysis before = AnalyzeTakes(list);
        const std::vector<Finding>& found = before.Takes[2].Findings;
        const auto missed = std::find_if(found.begin(), found.end(),
                                         [](const Finding& f) { return f.Kind == FindingKind::Missed && f.Tap == 20; });
        const auto extra = std::find_if(found.begin(), found.end(),
                                        [](const Finding& f) { return f.Kind == FindingKind::Extra; });
        if (missed == found.end() || extra == found.end())
            continue;  // the generated noise hid a slip: nothing to turn down
        ++checked;
        for (const Finding* turnedDown : {&*missed, &*extra}) {
            const std::vector<FindingKey> rejected = {KeyOf(*turnedDown)};
            const std::vector<bool> accepted = AcceptedFindings(before.Takes[2], rejected);
            std::vector<int64_t> places;
            Take repaired = RepairTake(list, before, 2, &accepted, &places);
            ASSERT_NE(repaired, takes[2]);
            ASSERT_EQ(places.size(), takes[2].size());
            const std::vector<FindingKey> carried = CarryRejected(rejected, places);
            ASSERT_EQ(carried.size(), 1u) << "set " << set;

            TakeList after = list;
            after[2] = &repaired;
            const Analysis again = AnalyzeTakes(after);
            const std::vector<bool> stillAccepted = AcceptedFindings(again.Takes[2], carried);
            bool namedAgain = false;
            for (size_t f = 0; f < again.Takes[2].Findings.size(); ++f) {
                const Finding& finding = again.Takes[2].Findings[f];
                namedAgain = namedAgain || KeyOf(finding) == carried[0];
                EXPECT_TRUE(!stillAccepted[f] || finding.Kind == FindingKind::Outlier)
                    << "set " << set << ": a finding the repair should have settled is still open";
            }
            EXPECT_TRUE(namedAgain) << "set " << set << ": the turned-down finding lost its key";
        }
    }
    EXPECT_GE(checked, 18);
}

}  // namespace
