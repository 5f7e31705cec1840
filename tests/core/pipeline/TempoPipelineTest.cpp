// The one road from takes to bytes: with the options off the export of
// before, with them on finite times whatever the takes, and the findings a
// musician turned down left alone by the repair.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../analysis/AnalysisTestSupport.h"
#include "RobustStatistics.h"
#include "TakeGenerator.h"
#include "TapAnalysis.h"
#include "TempoExport.h"
#include "TempoImport.h"
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

// Takes tapped along a recording: five takes of a steady piece that starts
// 3.2 s into it, two of them coming in one or two beats late, each anchored
// at its first tap's time there. The late starts are facts, not findings:
// every tap lands on its true beat and no take gets a start finding. The
// lined-up map starts at the recording's first sample with whole lead-in
// beats, puts every beat at its time on the recording (within the tapping
// error), and its file says the same to within a millisecond. Without the
// option the bytes are those of the takes without anchors.
TEST(TempoPipeline, AnchoredTakesLineUpWithTheRecording)
{
    TakeRandom random(41);
    const double start = 3200.0;
    for (int set = 0; set < 12; ++set) {
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, 160);
        std::vector<Take> takes;
        std::vector<GeneratedTake> generated;
        AnalysisOptions options;
        options.AlignToRecording = true;
        for (int m = 0; m < 5; ++m) {
            generated.push_back(GenerateTake(random, piece, m == 1 || m == 3 ? SlipKind::LateStart : SlipKind::None));
            const GeneratedTake& g = generated.back();
            takes.push_back(g.Slipped);
            options.Anchors.push_back(static_cast<int64_t>(std::floor(start + piece[static_cast<size_t>(g.BeatOfTap[0])] + 0.5)));
        }
        const TakeList list = TakeListOf(takes);
        const Analysis analysis = AnalyzeTakes(list, options.Anchors);
        for (size_t m = 0; m < takes.size(); ++m) {
            EXPECT_TRUE(analysis.Takes[m].Anchored);
            for (const Finding& f : analysis.Takes[m].Findings)
                EXPECT_NE(FindingKind::Start, f.Kind) << "set " << set << " take " << m;
            EXPECT_EQ(generated[m].BeatOfTap, analysis.Takes[m].BeatOfTap) << "set " << set << " take " << m;
        }
        for (const bool repair : {false, true}) {
            options.Repair = repair;
            const std::vector<double> beats = BeatTimesForExport(list, options);
            ASSERT_GT(beats.size(), piece.size());
            EXPECT_EQ(0.0, beats[0]);
            const size_t lead = beats.size() - piece.size();
            ASSERT_GE(lead, 1u);
            // Lead-in beats of one length, near the first tapped beat's.
            const double leadLength = beats[1] - beats[0];
            for (size_t k = 1; k < lead; ++k)
                EXPECT_NEAR(leadLength, beats[k + 1] - beats[k], 1e-6);
            EXPECT_LT(std::fabs(leadLength - (beats[lead + 1] - beats[lead])), 0.5 * (beats[lead + 1] - beats[lead]));
            std::vector<double> errors;
            for (size_t j = 0; j < piece.size(); ++j)
                errors.push_back(std::fabs(beats[lead + j] - (start + piece[j])));
            std::sort(errors.begin(), errors.end());
            EXPECT_LT(errors[errors.size() / 2], 20.0) << "set " << set << " repair " << repair;
            // The file's own beats, from its ticks and tempos.
            const std::vector<uint8_t> bytes = ExportTempoBytes(list, 0, 2, options);
            Take imported;
            ASSERT_EQ(ImportResult::Converted,
                      ConvertTempoFile(bytes.data(), static_cast<uint32_t>(bytes.size()), 2, imported));
            // The import's first marker is the map's second beat (its take
            // starts where the first beat ends), and it reads up to the map's
            // last tempo.
            ASSERT_GE(imported.size() + 3, beats.size());
            for (size_t k = 0; k < imported.size() && k + 1 < beats.size(); ++k)
                ASSERT_LE(std::fabs(static_cast<double>(imported[k]) - beats[k + 1]), 1.0) << "beat " << k + 1;

            AnalysisOptions off = options;
            off.AlignToRecording = false;
            AnalysisOptions none;
            none.Repair = repair;
            EXPECT_EQ(ExportTempoBytes(list, 3, 2, none), ExportTempoBytes(list, 3, 2, off));
        }
    }
}

// An onset curve at 5 ms with a parabolic peak of strength 0.9 on every
// given time, and nothing between.
std::shared_ptr<const OnsetCurve> OnsetsAt(const std::vector<double>& times, double lengthMs)
{
    auto curve = std::make_shared<OnsetCurve>();
    curve->HopMs = 5.0;
    curve->Values.assign(static_cast<size_t>(lengthMs / 5.0) + 1, 0.0f);
    for (const double t : times)
        for (int64_t f = static_cast<int64_t>(std::floor((t - 12.5) / 5.0)); static_cast<double>(f) * 5.0 <= t + 12.5; ++f) {
            const double d = (static_cast<double>(f) * 5.0 - t) / 12.5;
            if (f >= 0 && static_cast<size_t>(f) < curve->Values.size() && d * d < 1.0)
                curve->Values[static_cast<size_t>(f)] = static_cast<float>(0.9 * (1.0 - d * d));
        }
    return curve;
}

// The curve of a recording from `start` whose onsets are the piece's beats
// but for beats [restFrom, restTo), and lasting 2 s after its last beat.
std::shared_ptr<const OnsetCurve> OnsetsButARest(const std::vector<double>& piece, double start, size_t restFrom,
                                                 size_t restTo)
{
    std::vector<double> onsets;
    for (size_t j = 0; j < piece.size(); ++j)
        if (j < restFrom || j >= restTo)
            onsets.push_back(start + piece[j]);
    return OnsetsAt(onsets, start + piece.back() + 2000.0);
}

// `count` clean takes of the piece tapped along the recording, each
// anchored within `spread` ms of its first beat.
void TapAlong(TakeRandom& random, const std::vector<double>& piece, double start, size_t count, double spread,
              std::vector<Take>& takes, AnalysisOptions& options)
{
    for (size_t m = 0; m < count; ++m) {
        takes.push_back(GenerateTake(random, piece, SlipKind::None).Clean);
        options.Anchors.push_back(static_cast<int64_t>(start + piece[0] + random.Uniform(-spread, spread)));
    }
}

// Takes tapped along a recording whose onsets are its beats, but for a rest
// of twelve beats: snapped, the beats lie on their onsets (the tapping
// error gone) and the rest's beats keep their neighbours' shift; the
// smoothing then moves only the rest's beats, never one on its onset; and
// the onsets change nothing without Snap, or without lining up.
TEST(TempoPipeline, SnappedBeatsLieOnTheRecordingsOnsets)
{
    TakeRandom random(77);
    const double start = 2100.0;
    for (int set = 0; set < 6; ++set) {
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 120);
        std::vector<Take> takes;
        AnalysisOptions options;
        options.AlignToRecording = true;
        TapAlong(random, piece, start, set % 2 == 0 ? 1 : 5, 60.0, takes, options);
        options.Onsets = OnsetsButARest(piece, start, 50, 62);
        options.Repair = set % 3 == 0;
        const TakeList list = TakeListOf(takes);
        const std::vector<double> plain = BeatTimesOnRecording(list, options);
        options.Snap = true;
        const std::vector<double> snapped = BeatTimesOnRecording(list, options);
        options.Smoothing = SmoothingAuto;
        const std::vector<double> smoothed = BeatTimesOnRecording(list, options);
        ASSERT_EQ(snapped.size(), piece.size());
        ASSERT_EQ(smoothed.size(), piece.size());
        size_t onOnset = 0;
        double plainError = 0.0;
        for (size_t j = 0; j < piece.size(); ++j) {
            const double truth = start + piece[j];
            plainError += std::fabs(plain[j] - truth);
            const bool rest = j >= 50 && j < 62;
            if (!rest && std::fabs(snapped[j] - truth) < 0.01) {
                ++onOnset;
                EXPECT_EQ(snapped[j], smoothed[j]) << "set " << set << " beat " << j;
            }
        }
        EXPECT_GE(onOnset, piece.size() - 12 - 3) << "set " << set;
        // The tapping error was there to remove.
        EXPECT_GT(plainError / static_cast<double>(piece.size()), 5.0);
        // The rest's beats move by the shift the beats on onsets around
        // them share (their median within 16 beats), plus a part of how far
        // the beats either side depart from it that fades into the rest: its
        // middle, six beats from either end, moves by that shift alone. The
        // smoothing moves them.
        const double before = snapped[49] - plain[49];
        const double after = snapped[62] - plain[62];
        bool smoothedRest = false;
        for (size_t j = 50; j < 62; ++j) {
            std::vector<double> moves;
            for (size_t i = j - 16; i <= j + 16; ++i)
                if ((i < 50 || i >= 62) && std::fabs(snapped[i] - start - piece[i]) < 0.01)
                    moves.push_back(snapped[i] - plain[i]);
            const double shared = Median(moves);
            const double lowest = std::min({before, after, shared});
            const double highest = std::max({before, after, shared});
            const double move = snapped[j] - plain[j];
            EXPECT_GE(move, lowest - 0.01) << "set " << set << " beat " << j;
            EXPECT_LE(move, highest + 0.01) << "set " << set << " beat " << j;
            if (j == 55 || j == 56) {
                EXPECT_NEAR(move, shared, 0.05 * (highest - lowest) + 0.01) << "set " << set << " beat " << j;
            }
            smoothedRest = smoothedRest || snapped[j] != smoothed[j];
        }
        EXPECT_TRUE(smoothedRest) << "set " << set;

        AnalysisOptions off = options;
        off.Snap = false;
        AnalysisOptions without = off;
        without.Onsets = nullptr;
        EXPECT_EQ(ExportTempoBytes(list, 2, 2, without), ExportTempoBytes(list, 2, 2, off));
        AnalysisOptions unaligned = options;
        unaligned.AlignToRecording = false;
        without.AlignToRecording = false;
        EXPECT_EQ(ExportTempoBytes(list, 2, 2, without), ExportTempoBytes(list, 2, 2, unaligned));
        EXPECT_NE(ExportTempoBytes(list, 2, 2, off), ExportTempoBytes(list, 2, 2, options));
    }
}

// The musician's edits win: an edited beat goes where it was put, through
// the snapping and the smoothing, and the detail names every beat's origin
// (snapped, unsure in the rest, edited) and keeps the tapped times.
TEST(TempoPipeline, EditedBeatsWinOverSnappingAndSmoothing)
{
    TakeRandom random(91);
    const double start = 1800.0;
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 80);
    std::vector<Take> takes;
    AnalysisOptions options;
    options.AlignToRecording = true;
    TapAlong(random, piece, start, 3, 40.0, takes, options);
    options.Onsets = OnsetsButARest(piece, start, 30, 40);
    options.Snap = true;
    options.Smoothing = SmoothingAuto;
    const TakeList list = TakeListOf(takes);
    const BeatsOnRecording before = BeatsOnRecordingInDetail(list, options);
    ASSERT_EQ(piece.size(), before.Final.size());
    ASSERT_EQ(before.Final, BeatTimesOnRecording(list, options));
    ASSERT_EQ(before.Final.size(), before.Tapped.size());
    size_t unsure = 0;
    for (size_t j = 30; j < 40; ++j)
        unsure += before.Origins[j] == BeatOrigin::Unsure;
    EXPECT_GE(unsure, 8u) << "the rest's beats have no onset to be snapped to";
    EXPECT_EQ(BeatOrigin::Snapped, before.Origins[10]);

    // One snapped beat and one in the rest, moved by hand (named a little
    // off where they are, as after another take changed the average).
    const double to10 = before.Final[10] + 37.0;
    const double to35 = before.Final[35] - 21.0;
    options.Edits = {BeatEdit{static_cast<int64_t>((before.Final[10] + 3.0) * 1000.0), static_cast<int64_t>(to10 * 1000.0)},
                     BeatEdit{static_cast<int64_t>((before.Final[35] - 2.0) * 1000.0), static_cast<int64_t>(to35 * 1000.0)}};
    const BeatsOnRecording after = BeatsOnRecordingInDetail(list, options);
    ASSERT_EQ(before.Final.size(), after.Final.size());
    EXPECT_NEAR(to10, after.Final[10], 0.001);
    EXPECT_NEAR(to35, after.Final[35], 0.001);
    EXPECT_EQ(BeatOrigin::Edited, after.Origins[10]);
    EXPECT_EQ(BeatOrigin::Edited, after.Origins[35]);
    EXPECT_EQ(before.Tapped, after.Tapped);
    // The other snapped beats stay on their onsets.
    for (size_t j = 0; j < piece.size(); ++j)
        if (j != 10 && j != 35 && before.Origins[j] == BeatOrigin::Snapped) {
            EXPECT_EQ(before.Final[j], after.Final[j]) << "beat " << j;
        }
    // The export runs through the edited times.
    const std::vector<double> exported = BeatTimesForExport(list, options);
    EXPECT_NE(exported.end(), std::find_if(exported.begin(), exported.end(),
                                           [to10](double t) { return std::fabs(t - to10) < 0.001; }));
    // Edits without a map lined up with the recording change nothing.
    AnalysisOptions unaligned = options;
    unaligned.AlignToRecording = false;
    AnalysisOptions plain = unaligned;
    plain.Edits.clear();
    EXPECT_EQ(ExportTempoBytes(list, 2, 2, plain), ExportTempoBytes(list, 2, 2, unaligned));
}

// Lead-in beats: the whole number of them whose length is nearest the first
// beat's, at least one, none for a first beat at the start.
TEST(TempoPipeline, LeadInBeatsFillTheTimeBeforeTheFirstBeat)
{
    std::mt19937 random(5);
    for (int round = 0; round < 500; ++round) {
        const double first = 200.0 + static_cast<double>(random() % 1000);
        const double lead = 1.0 + static_cast<double>(random() % 20000) / 3.0;
        const std::vector<double> lined = LineUpWithRecording({lead, lead + first, lead + 2 * first});
        const size_t n = lined.size() - 3;
        ASSERT_GE(n, 1u);
        EXPECT_EQ(0.0, lined[0]);
        EXPECT_EQ(lead, lined[n]);
        const double length = lead / static_cast<double>(n);
        for (const size_t other : {n - 1, n + 1})
            if (other >= 1) {
                EXPECT_LE(std::fabs(length - first), std::fabs(lead / static_cast<double>(other) - first) + 1e-9);
            }
    }
    EXPECT_EQ((std::vector<double>{0.4, 500.4}), LineUpWithRecording({0.4, 500.4}));
    // Snapped onto a note at the very start, a few ms before the first
    // sample: the map starts there, the other beats where they are.
    EXPECT_EQ((std::vector<double>{0.0, 495.5, 996.0}), LineUpWithRecording({-4.5, 495.5, 996.0}));
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
