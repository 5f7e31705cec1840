// The take generator that the analysis' tests and benchmarks stand on: its
// options make what they say, and leave the takes without them alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "AnalysisTestSupport.h"
#include "TakeGenerator.h"

namespace {

using analysis_test::Lengths;

// The median absolute deviation of a clean take's taps from their beats,
// the take's constant offset (the median deviation) set aside.
double MedianTapDeviation(const Take& take, const std::vector<double>& piece)
{
    std::vector<double> deviations;
    for (size_t j = 0; j < take.size(); ++j)
        deviations.push_back(static_cast<double>(take[j]) - piece[j]);
    std::vector<double> sorted = deviations;
    std::sort(sorted.begin(), sorted.end());
    const double offset = sorted[sorted.size() / 2];
    for (double& d : deviations)
        d = std::fabs(d - offset);
    std::sort(deviations.begin(), deviations.end());
    return deviations[deviations.size() / 2];
}

// A take's clean taps are drawn before its slip, so they are the same
// whatever the slip, a stumble included.
TEST(TakeGenerator, CleanTakeIndependentOfItsSlip)
{
    for (uint32_t state = 1; state <= 12; ++state) {
        TakeRandom pieceRandom(state);
        const std::vector<double> piece =
            GeneratePiece(pieceRandom, state % 2 ? PieceStyle::Steady : PieceStyle::Expressive, 120);
        TakeRandom plainRandom(state * 31u);
        const GeneratedTake plain = GenerateTake(plainRandom, piece, SlipKind::None);
        EXPECT_EQ(plain.Slipped, plain.Clean);
        for (const SlipKind slip : {SlipKind::Missed, SlipKind::DoubleTap, SlipKind::LateStart, SlipKind::EarlyStop,
                                    SlipKind::Stumble}) {
            TakeRandom random(state * 31u);
            EXPECT_EQ(GenerateTake(random, piece, slip).Clean, plain.Clean) << static_cast<int>(slip);
        }
    }
}

// Held and shortened beats are expressive: a steady piece asked for them is
// the piece it would be without them.
TEST(TakeGenerator, HeldAndShortenedBeatsOnlyInExpressivePieces)
{
    PieceOptions options;
    options.HeldAndShortened = true;
    for (uint32_t state = 1; state <= 6; ++state) {
        TakeRandom a(state);
        TakeRandom b(state);
        EXPECT_EQ(GeneratePiece(a, PieceStyle::Steady, 300, options), GeneratePiece(b, PieceStyle::Steady, 300));
    }
}

// Held beats of 1.5 times the tempo around them and more, shortened ones of
// 0.6 and less, about as often as asked, each standing alone among ordinary
// beats; without the option an expressive piece has no such short beat.
TEST(TakeGenerator, HeldAndShortenedBeatsStandOutOfTheirTempo)
{
    PieceOptions options;
    options.HeldAndShortened = true;
    int held = 0;
    int shortened = 0;
    int shortWithout = 0;
    size_t placeable = 0;
    for (uint32_t state = 1; state <= 30; ++state) {
        SCOPED_TRACE("state " + std::to_string(state));
        TakeRandom random(state);
        TakeRandom without(state);
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 400, options);
        const std::vector<double> plain = GeneratePiece(without, PieceStyle::Expressive, 400);
        const std::vector<double> lengths = Lengths(piece);
        const std::vector<double> local = LocalMedianLengths(piece);
        const std::vector<double> plainLengths = Lengths(plain);
        const std::vector<double> plainLocal = LocalMedianLengths(plain);
        placeable += lengths.size() - 16;
        // The beats are drawn before the held and shortened ones are
        // placed, so the placed ones are where the two pieces differ.
        // (Beat times are sums, so the lengths after a placed beat differ in
        // their last bits.)
        const auto placed = [&](size_t j) { return std::fabs(lengths[j] - plainLengths[j]) > 1e-6 * plainLengths[j]; };
        for (size_t j = 0; j < lengths.size(); ++j) {
            shortWithout += plainLengths[j] <= 0.6 * plainLocal[j] ? 1 : 0;
            if (!placed(j))
                continue;
            EXPECT_TRUE(lengths[j] >= 1.5 * local[j] || lengths[j] <= 0.6 * local[j]) << "beat " << j;
            held += lengths[j] >= 1.5 * local[j] ? 1 : 0;
            shortened += lengths[j] <= 0.6 * local[j] ? 1 : 0;
            EXPECT_GE(j, 8u);
            EXPECT_LT(j + 8, lengths.size());
            EXPECT_TRUE(j >= 1 && !placed(j - 1) && j + 1 < lengths.size() && !placed(j + 1)) << "beat " << j;
        }
    }
    // About 2 % and 1.4 % of the beats, less the few that would have stood
    // next to another.
    const double beats = static_cast<double>(placeable);
    EXPECT_GT(held, 0.015 * beats);
    EXPECT_LT(held, 0.025 * beats);
    EXPECT_GT(shortened, 0.009 * beats);
    EXPECT_LT(shortened, 0.019 * beats);
    EXPECT_EQ(shortWithout, 0);
}

// Half-beats: as many as asked, each half the tempo around it, away from the
// piece's ends, in steady and expressive pieces alike.
TEST(TakeGenerator, HalfBeatsAsAsked)
{
    for (uint32_t state = 1; state <= 20; ++state) {
        SCOPED_TRACE("state " + std::to_string(state));
        TakeRandom random(state);
        PieceOptions options;
        options.HalfBeats = random.Between(1, 4);
        const PieceStyle style = state % 2 ? PieceStyle::Steady : PieceStyle::Expressive;
        const std::vector<double> piece = GeneratePiece(random, style, random.Between(60, 500), options);
        const std::vector<double> lengths = Lengths(piece);
        const std::vector<double> local = LocalMedianLengths(piece);
        int halves = 0;
        for (size_t j = 0; j < lengths.size(); ++j) {
            if (lengths[j] > 0.6 * local[j])
                continue;
            ++halves;
            EXPECT_NEAR(lengths[j] / local[j], 0.5, 0.001) << "beat " << j;
            EXPECT_GE(j, 8u);
            EXPECT_LT(j + 8, lengths.size());
        }
        EXPECT_EQ(halves, options.HalfBeats);
    }
}

// Fast pieces lie between 250 and 350 ms a beat (the final ritardando
// aside; an expressive piece's arches and holds reach beyond), and a take that follows the tempo is off its beats by the same
// share of a beat as the measured tapping, whose beats are 595 ms.
TEST(TakeGenerator, FastPiecesAndErrorsScaledToTheirTempo)
{
    for (uint32_t state = 1; state <= 10; ++state) {
        SCOPED_TRACE("state " + std::to_string(state));
        TakeRandom random(state);
        const PieceStyle style = state % 2 ? PieceStyle::Steady : PieceStyle::Expressive;
        const std::vector<double> piece = GeneratePiece(random, style, 600, FastPiece());
        std::vector<double> lengths = Lengths(piece);
        lengths.resize(lengths.size() - 8);
        size_t inside = 0;
        for (const double length : lengths)
            inside += length >= 250.0 && length <= 350.0 ? 1 : 0;
        const double share = style == PieceStyle::Steady ? 0.95 : 0.6;
        EXPECT_GE(static_cast<double>(inside), share * static_cast<double>(lengths.size()));
        std::sort(lengths.begin(), lengths.end());
        const double median = lengths[lengths.size() / 2];
        EXPECT_GE(median, 250.0);
        EXPECT_LE(median, 350.0);

        TakeOptions fixed;
        fixed.LeastNoise = 20.0;
        fixed.MostNoise = 20.0;
        TakeOptions following = fixed;
        following.ErrorFollowsTempo = true;
        TakeRandom a(state + 100);
        TakeRandom b(state + 100);
        const double measured = MedianTapDeviation(GenerateTake(a, piece, SlipKind::None, fixed).Clean, piece);
        const double scaled = MedianTapDeviation(GenerateTake(b, piece, SlipKind::None, following).Clean, piece);
        EXPECT_NEAR(scaled / measured, median / 595.0, 0.1 * median / 595.0);
    }
}

// The noise per tap is drawn from the range asked: the tap deviations of
// every take spread as one draw of it would (a median absolute deviation of
// 0.674 times the spread).
TEST(TakeGenerator, TapNoiseWithinTheRangeAsked)
{
    TakeRandom random(77);
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, 800);
    for (const double least : {10.0, 15.0, 25.0}) {
        TakeOptions options;
        options.LeastNoise = least;
        options.MostNoise = least + 5.0;
        for (int m = 0; m < 8; ++m) {
            const double spread = MedianTapDeviation(GenerateTake(random, piece, SlipKind::None, options).Clean, piece) / 0.674;
            EXPECT_GT(spread, 0.85 * options.LeastNoise) << least;
            EXPECT_LT(spread, 1.15 * options.MostNoise) << least;
        }
    }
}

// A stumble moves one or two taps by 25 to 45 % of their beat, the same
// way, and leaves every other tap where the clean take has it: the same
// taps on the same beats, none missed and none extra.
TEST(TakeGenerator, StumbleIsOffTapsThatComeBack)
{
    for (uint32_t state = 1; state <= 40; ++state) {
        SCOPED_TRACE("state " + std::to_string(state));
        TakeRandom random(state);
        const PieceStyle style = state % 2 ? PieceStyle::Steady : PieceStyle::Expressive;
        const std::vector<double> piece = GeneratePiece(random, style, random.Between(30, 300));
        const GeneratedTake g = GenerateTake(random, piece, SlipKind::Stumble);
        ASSERT_EQ(g.Slipped.size(), g.Clean.size());
        for (size_t i = 0; i < g.BeatOfTap.size(); ++i)
            EXPECT_EQ(g.BeatOfTap[i], static_cast<int64_t>(i));
        ASSERT_TRUE(g.OffTaps == 1 || g.OffTaps == 2);
        ASSERT_GE(g.SlipTap, 8);
        double direction = 0.0;
        for (size_t i = 0; i < g.Slipped.size(); ++i) {
            const double moved = static_cast<double>(g.Slipped[i]) - static_cast<double>(g.Clean[i]);
            const int64_t tap = static_cast<int64_t>(i);
            if (tap < g.SlipTap || tap >= g.SlipTap + g.OffTaps) {
                EXPECT_EQ(moved, 0.0) << "tap " << i;
                continue;
            }
            const double beat = moved > 0.0 ? piece[i + 1] - piece[i] : piece[i] - piece[i - 1];
            EXPECT_GE(std::fabs(moved), 0.25 * beat - 1.0) << "tap " << i;
            EXPECT_LE(std::fabs(moved), 0.45 * beat + 1.0) << "tap " << i;
            if (direction != 0.0) {
                EXPECT_GT(direction * moved, 0.0) << "tap " << i;
            }
            direction = moved;
        }
    }
}

// A permutation holds every index once, the same one for the same state,
// and puts every item in every place about equally often.
TEST(TakeGenerator, PermutationsAreDeterministicAndEven)
{
    for (size_t count = 0; count <= 7; ++count) {
        TakeRandom a(static_cast<uint32_t>(count) + 1);
        TakeRandom b(static_cast<uint32_t>(count) + 1);
        const std::vector<size_t> order = Permutation(a, count);
        EXPECT_EQ(Permutation(b, count), order);
        std::vector<size_t> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        for (size_t i = 0; i < count; ++i)
            EXPECT_EQ(sorted[i], i);
        std::vector<int> items;
        for (size_t i = 0; i < count; ++i)
            items.push_back(static_cast<int>(i * 10));
        const std::vector<int> permuted = Permuted(items, order);
        ASSERT_EQ(permuted.size(), count);
        for (size_t i = 0; i < count; ++i)
            EXPECT_EQ(permuted[i], items[order[i]]);
    }
    TakeRandom random(9);
    std::vector<std::vector<int>> where(5, std::vector<int>(5, 0));
    const int draws = 1200;
    for (int d = 0; d < draws; ++d) {
        const std::vector<size_t> order = Permutation(random, 5);
        for (size_t i = 0; i < 5; ++i)
            ++where[order[i]][i];
    }
    for (size_t item = 0; item < 5; ++item)
        for (size_t place = 0; place < 5; ++place) {
            EXPECT_GT(where[item][place], draws / 5 * 3 / 4) << item << " at " << place;
            EXPECT_LT(where[item][place], draws / 5 * 5 / 4) << item << " at " << place;
        }
}

}  // namespace
