// The statistics the analysis and the smoothing share, against plain
// definitions computed another way (a full sort), over random samples with
// ties, and their edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "RobustStatistics.h"

namespace {

std::vector<double> RandomSample(std::mt19937& random)
{
    std::vector<double> v(random() % 12);
    for (double& x : v)
        // Few distinct values, so ties are common; some negative.
        x = static_cast<double>(static_cast<int>(random() % 9) - 3) * 0.5;
    return v;
}

double SortedMedian(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) * 0.5;
}

TEST(RobustStatistics, MedianIsTheMiddleOfTheSortedValues)
{
    std::mt19937 random(21);
    for (int round = 0; round < 2000; ++round) {
        std::vector<double> v = RandomSample(random);
        if (v.empty())
            continue;
        const double expected = SortedMedian(v);
        std::vector<double> reordered = v;
        EXPECT_EQ(Median(reordered), expected);
        // Only reordered: the same values are still there.
        std::sort(v.begin(), v.end());
        std::sort(reordered.begin(), reordered.end());
        EXPECT_EQ(reordered, v);
    }
    std::vector<double> none;
    EXPECT_EQ(Median(none), 0.0);
    std::vector<double> pair{4.0, 1.0};
    EXPECT_EQ(Median(pair), 2.5);
}

TEST(RobustStatistics, ScaleIsTheNormalisedMedianAbsoluteValue)
{
    std::mt19937 random(22);
    for (int round = 0; round < 500; ++round) {
        std::vector<double> v = RandomSample(random);
        std::vector<double> magnitudes;
        for (const double x : v)
            magnitudes.push_back(std::fabs(x));
        const double expected = v.empty() ? 0.0 : 1.4826 * SortedMedian(magnitudes);
        EXPECT_EQ(RobustScale(v), expected);
    }
    // One wild value does not widen it.
    std::vector<double> wild{-1.0, 1.0, 1.0, -1.0, 1000.0};
    EXPECT_EQ(RobustScale(wild), 1.4826);
}

TEST(RobustStatistics, MeanSetsTheOuterFifthAsideFromThreeValuesOn)
{
    std::mt19937 random(23);
    for (int round = 0; round < 2000; ++round) {
        std::vector<double> v = RandomSample(random);
        std::vector<double> sorted = v;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        const size_t trim = n >= 3 ? std::max<size_t>(1, n / 5) : 0;
        double sum = 0.0;
        for (size_t i = trim; i + trim < n; ++i)
            sum += sorted[i];
        const double expected = n == 0 ? 0.0 : sum / static_cast<double>(n - 2 * trim);
        EXPECT_EQ(RobustMean(v), expected) << "n " << n;
    }
    std::vector<double> two{1.0, 100.0};
    EXPECT_EQ(RobustMean(two), 50.5);
    std::vector<double> three{100.0, 1.0, 2.0};
    EXPECT_EQ(RobustMean(three), 2.0);
    std::vector<double> ten{0, 1, 2, 3, 4, 5, 6, 7, 8, 1000};
    EXPECT_EQ(RobustMean(ten), 4.5);  // two set aside on each side
}

}  // namespace
