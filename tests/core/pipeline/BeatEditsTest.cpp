// The beats moved by hand: an edit finds the beat nearest its time within
// half an interval, whatever the other edits, and moves only it, keeping the
// beats in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "BeatEdits.h"

namespace {

std::vector<double> RandomBeats(std::mt19937& random, size_t count)
{
    std::uniform_real_distribution<double> interval(250.0, 900.0);
    std::vector<double> beats;
    double t = 1000.0 * static_cast<double>(random() % 5);
    for (size_t i = 0; i < count; ++i) {
        beats.push_back(t);
        t += interval(random);
    }
    return beats;
}

TEST(BeatEdits, EachEditMovesItsBeatOnlyAndTheBeatsStayInOrder)
{
    std::mt19937 random(17);
    for (int round = 0; round < 300; ++round) {
        const std::vector<double> beats = RandomBeats(random, 4 + random() % 60);
        // Edits of distinct beats, named a little off where they were (as a
        // later analysis moves them), to anywhere near.
        std::vector<BeatEdit> edits;
        std::vector<int64_t> targets;
        for (size_t b = 0; b < beats.size(); ++b) {
            if (random() % 4 != 0)
                continue;
            const double at = beats[b] + static_cast<double>(static_cast<int>(random() % 41) - 20);
            const double to = beats[b] + static_cast<double>(static_cast<int>(random() % 601) - 300);
            edits.push_back(BeatEdit{static_cast<int64_t>(at * 1000.0), static_cast<int64_t>(to * 1000.0)});
            targets.push_back(static_cast<int64_t>(b));
        }
        std::vector<double> moved = beats;
        const std::vector<bool> edited = ApplyBeatEdits(moved, edits);
        ASSERT_EQ(beats.size(), edited.size());
        for (size_t b = 0; b < beats.size(); ++b) {
            const bool named = std::find(targets.begin(), targets.end(), static_cast<int64_t>(b)) != targets.end();
            EXPECT_EQ(named, edited[b]) << "round " << round << " beat " << b;
            if (!named) {
                EXPECT_EQ(beats[b], moved[b]);
            }
            if (b > 0) {
                EXPECT_LT(moved[b - 1], moved[b]) << "round " << round << " beat " << b;
            }
        }
        // The order of edits of different beats does not matter.
        std::vector<BeatEdit> shuffled = edits;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        std::vector<double> again = beats;
        ApplyBeatEdits(again, shuffled);
        bool crossing = false;  // two edits pushing past each other clamp in their order
        for (size_t i = 0; i + 1 < targets.size(); ++i)
            crossing = crossing || targets[i + 1] == targets[i] + 1;
        if (!crossing) {
            EXPECT_EQ(moved, again) << "round " << round;
        }
    }
}

TEST(BeatEdits, AnEditFarFromEveryBeatChangesNothingAndTheLaterOneWins)
{
    std::vector<double> beats = {1000, 1500, 2000, 2500};
    const std::vector<double> before = beats;
    // Within half an interval of the nearest beat, and not beyond the ends.
    EXPECT_EQ(2, EditedBeat(beats, 1760000));
    EXPECT_EQ(1, EditedBeat(beats, 1740000));
    EXPECT_EQ(-1, EditedBeat(beats, 400000));   // 600 before the first beat
    EXPECT_EQ(-1, EditedBeat(beats, 2800000));  // 300 after the last
    EXPECT_EQ(std::vector<bool>(4, false), ApplyBeatEdits(beats, {BeatEdit{3500000, 3400000}}));
    EXPECT_EQ(before, beats);
    ApplyBeatEdits(beats, {BeatEdit{1500000, 1450000}, BeatEdit{1500000, 1560000}});
    EXPECT_EQ((std::vector<double>{1000, 1560, 2000, 2500}), beats);
    // Past a neighbour: kept a millisecond inside it.
    beats = before;
    ApplyBeatEdits(beats, {BeatEdit{2000000, 2700000}});
    EXPECT_EQ((std::vector<double>{1000, 1500, 2499, 2500}), beats);
}

}  // namespace
