// The pairing of taps with clicks and the lag measured from it, on taps
// generated with a known lag: the lag comes back, far taps never pair, and
// the order the taps arrive in changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "TapLatency.h"

namespace {

struct GeneratedRun {
    std::vector<double> Taps;
    size_t TappedAfterCountIn = 0;  // clicks after the count-in that got a tap
};

// A musician `lagMs` late on every click, with uniform noise of +-noiseMs,
// missing a click now and then, and some stray taps well away from every
// click (between two clicks, more than the window from both).
GeneratedRun Generate(std::mt19937& random, double lagMs, double noiseMs, double missChance, size_t strays)
{
    const std::vector<double> clicks = LatencyClickTimesMs();
    std::uniform_real_distribution<double> noise(-noiseMs, noiseMs);
    std::bernoulli_distribution miss(missChance);
    GeneratedRun run;
    for (size_t i = 0; i < clicks.size(); ++i) {
        if (miss(random))
            continue;
        run.Taps.push_back(clicks[i] + lagMs + noise(random));
        if (i >= kLatencyCountInClicks)
            ++run.TappedAfterCountIn;
    }
    const double far = kLatencyPairWindowMs + 1.0;
    std::uniform_real_distribution<double> between(far, kLatencyClickPeriodMs - far);
    std::uniform_int_distribution<size_t> gap(0, clicks.size() - 2);
    for (size_t i = 0; i < strays; ++i)
        run.Taps.push_back(clicks[gap(random)] + between(random));
    std::shuffle(run.Taps.begin(), run.Taps.end(), random);
    return run;
}

TEST(TapLatency, ScheduleIsTwentyFourClicksAtOneHundredBpm)
{
    const std::vector<double> clicks = LatencyClickTimesMs();
    ASSERT_EQ(clicks.size(), 24u);
    EXPECT_GT(clicks.front(), 0.0);
    for (size_t i = 1; i < clicks.size(); ++i)
        EXPECT_DOUBLE_EQ(clicks[i] - clicks[i - 1], 60000.0 / 100.0);
}

TEST(TapLatency, KnownLagComesBack)
{
    std::mt19937 random(20261209);
    for (int run = 0; run < 300; ++run) {
        const double lag = std::uniform_real_distribution<double>(-20.0, 57.0)(random);
        const double noise = std::uniform_real_distribution<double>(0.0, 12.0)(random);
        const GeneratedRun taps = Generate(random, lag, noise, 0.15, run % 6);
        const TapLatencyResult result = MeasureTapLatency(LatencyClickTimesMs(), taps.Taps);
        // Every tapped click pairs with its own tap, and no stray pairs.
        EXPECT_EQ(result.Pairs, taps.TappedAfterCountIn) << "run " << run;
        EXPECT_EQ(result.Enough, result.Pairs >= kLatencyMinPairs);
        ASSERT_EQ(result.OffsetsMs.size(), result.Pairs);
        for (const double offset : result.OffsetsMs)
            EXPECT_LE(std::fabs(offset - lag), noise + 1e-9) << "run " << run;
        // The median of offsets within +-noise of the lag lies there too, and
        // typical deviations are about half the noise.
        if (result.Pairs > 0) {
            EXPECT_LE(std::fabs(result.MedianMs - lag), noise + 1e-9) << "run " << run;
            EXPECT_LE(result.SpreadMs, 2.0 * noise + 1e-9) << "run " << run;
        }
        if (result.Pairs >= kLatencyMinPairs) {
            EXPECT_NEAR(result.MedianMs, lag, std::max(0.5, noise * 0.6)) << "run " << run;
        }
    }
}

TEST(TapLatency, SteadyTapsGiveTheLagExactlyWithNoSpread)
{
    std::vector<double> taps;
    for (const double click : LatencyClickTimesMs())
        taps.push_back(click + 23.0);
    const TapLatencyResult result = MeasureTapLatency(LatencyClickTimesMs(), taps);
    EXPECT_EQ(result.Pairs, kLatencyClickCount - kLatencyCountInClicks);
    EXPECT_DOUBLE_EQ(result.MedianMs, 23.0);
    EXPECT_DOUBLE_EQ(result.SpreadMs, 0.0);
    EXPECT_TRUE(result.Enough);
}

TEST(TapLatency, TapsBeyondTheWindowNeverPair)
{
    std::mt19937 random(7);
    const std::vector<double> clicks = LatencyClickTimesMs();
    for (int run = 0; run < 200; ++run) {
        // Taps at any distance from their click: those beyond the window, on
        // either side, stay unpaired even where no nearer tap competes.
        std::vector<double> taps;
        size_t within = 0;
        std::uniform_real_distribution<double> offset(-290.0, 290.0);
        for (size_t i = 0; i < clicks.size(); ++i) {
            const double o = offset(random);
            taps.push_back(clicks[i] + o);
            if (i >= kLatencyCountInClicks && std::fabs(o) <= kLatencyPairWindowMs)
                ++within;
        }
        const TapLatencyResult result = MeasureTapLatency(clicks, taps);
        EXPECT_EQ(result.Pairs, within) << "run " << run;
        for (const double o : result.OffsetsMs)
            EXPECT_LE(std::fabs(o), kLatencyPairWindowMs);
    }
    // Just outside on both sides, and nothing else.
    std::vector<double> outside;
    for (const double click : clicks) {
        outside.push_back(click - kLatencyPairWindowMs - 0.01);
        outside.push_back(click + kLatencyPairWindowMs + 0.01);
    }
    const TapLatencyResult none = MeasureTapLatency(clicks, outside);
    EXPECT_EQ(none.Pairs, 0u);
    EXPECT_FALSE(none.Enough);
    EXPECT_EQ(none.MedianMs, 0.0);
}

TEST(TapLatency, OrderOfTapsDoesNotMatter)
{
    std::mt19937 random(99);
    for (int run = 0; run < 200; ++run) {
        // Crowded taps (two or three per click) make the pairing choose.
        GeneratedRun taps = Generate(random, 30.0, 40.0, 0.1, 10);
        const GeneratedRun more = Generate(random, -40.0, 60.0, 0.5, 0);
        taps.Taps.insert(taps.Taps.end(), more.Taps.begin(), more.Taps.end());
        const TapLatencyResult first = MeasureTapLatency(LatencyClickTimesMs(), taps.Taps);
        std::shuffle(taps.Taps.begin(), taps.Taps.end(), random);
        const TapLatencyResult second = MeasureTapLatency(LatencyClickTimesMs(), taps.Taps);
        std::reverse(taps.Taps.begin(), taps.Taps.end());
        const TapLatencyResult third = MeasureTapLatency(LatencyClickTimesMs(), taps.Taps);
        EXPECT_EQ(first.OffsetsMs, second.OffsetsMs) << "run " << run;
        EXPECT_EQ(first.OffsetsMs, third.OffsetsMs) << "run " << run;
        EXPECT_EQ(first.MedianMs, second.MedianMs);
        EXPECT_EQ(first.SpreadMs, third.SpreadMs);
    }
}

TEST(TapLatency, EachClickAndTapPairsOnceNearestFirst)
{
    const std::vector<double> clicks = LatencyClickTimesMs();
    const double click = clicks[10];
    // Two taps at one click: the nearer pairs with it; the other is 600 ms
    // from the next click and pairs with none.
    TapLatencyResult result = MeasureTapLatency(clicks, {click + 40.0, click - 10.0});
    ASSERT_EQ(result.Pairs, 1u);
    EXPECT_DOUBLE_EQ(result.OffsetsMs[0], -10.0);
    // Taps beyond the window of either neighbouring click pair with none.
    result = MeasureTapLatency(clicks, {click + 290.0, click + 320.0});
    EXPECT_EQ(result.Pairs, 0u);
    // The nearer of two candidates wins the click whichever comes first.
    result = MeasureTapLatency(clicks, {click + 140.0, click + 20.0});
    ASSERT_EQ(result.Pairs, 1u);
    EXPECT_DOUBLE_EQ(result.OffsetsMs[0], 20.0);
    // A tap between two clicks goes to the nearer one, leaving the other
    // click to a tap of its own.
    result = MeasureTapLatency(clicks, {click + 100.0, click + 600.0 - 140.0});
    ASSERT_EQ(result.Pairs, 2u);
    EXPECT_DOUBLE_EQ(result.OffsetsMs[0], 100.0);
    EXPECT_DOUBLE_EQ(result.OffsetsMs[1], -140.0);
    // Taps at every click of the count-in only: nothing counts.
    EXPECT_EQ(MeasureTapLatency(clicks, {clicks[0], clicks[1], clicks[2], clicks[3]}).Pairs, 0u);
}

TEST(TapLatency, TwelvePairsAreEnoughElevenAreNot)
{
    const std::vector<double> clicks = LatencyClickTimesMs();
    std::vector<double> taps;
    for (size_t i = kLatencyCountInClicks; i < kLatencyCountInClicks + 11; ++i)
        taps.push_back(clicks[i] - 12.0);
    EXPECT_FALSE(MeasureTapLatency(clicks, taps).Enough);
    taps.push_back(clicks[kLatencyCountInClicks + 11] - 12.0);
    const TapLatencyResult twelve = MeasureTapLatency(clicks, taps);
    EXPECT_TRUE(twelve.Enough);
    EXPECT_DOUBLE_EQ(twelve.MedianMs, -12.0);
}

TEST(TapLatency, SpreadIsTheMedianAbsoluteDeviation)
{
    const std::vector<double> clicks = LatencyClickTimesMs();
    // Offsets 10, 20, 30, 40, 50 (median 30; deviations 20, 10, 0, 10, 20).
    std::vector<double> taps;
    for (int i = 0; i < 5; ++i)
        taps.push_back(clicks[kLatencyCountInClicks + static_cast<size_t>(i)] + 10.0 * (i + 1));
    const TapLatencyResult result = MeasureTapLatency(clicks, taps);
    EXPECT_DOUBLE_EQ(result.MedianMs, 30.0);
    EXPECT_DOUBLE_EQ(result.SpreadMs, 10.0);
}

}  // namespace
