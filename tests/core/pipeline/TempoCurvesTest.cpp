// Tempo curves for the graph: the takes' curves on their common grid, and
// the reduction to pixel columns against a drawing made point by point.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "TakeGenerator.h"
#include "TempoCurves.h"

namespace {

TEST(TempoCurves, TakesOnTheGridAndMissedBeatsShared)
{
    const Take steady{0, 500, 1000, 1500, 2000, 2500, 3000, 3500, 4000, 4500};
    Take missed = steady;
    missed.erase(missed.begin() + 4);  // 1500 to 2500 spans beats 3 and 4
    const TakeList takes{&steady, &missed};
    const Analysis analysis = AnalyzeTakes(takes);
    const std::vector<Curve> curves = TakeCurves(takes, analysis, CurveAxis::Beat);
    ASSERT_EQ(curves[0].size(), 9u);
    ASSERT_EQ(curves[1].size(), 9u);
    for (size_t j = 0; j < 9; ++j) {
        EXPECT_EQ(curves[1][j].X, static_cast<double>(j));
        EXPECT_DOUBLE_EQ(curves[1][j].Bpm, 120.0);
    }
    const std::vector<Curve> timed = TakeCurves(takes, analysis, CurveAxis::Time);
    EXPECT_DOUBLE_EQ(timed[1][4].X, 2000.0);
    const Band band = SpreadBand(curves);
    EXPECT_EQ(band.X.size(), 9u);
}

// Every column's range must hold exactly the values of the polyline inside
// it: compared with a dense sampling of the line and the points themselves.
TEST(TempoCurves, ColumnsHoldTheLineAsDrawnPointByPoint)
{
    std::mt19937 engine(4);
    for (int round = 0; round < 50; ++round) {
        Curve curve;
        double x = static_cast<double>(engine() % 20);
        const size_t n = 2 + engine() % 300;
        for (size_t i = 0; i < n; ++i) {
            curve.push_back(CurvePoint{x, 60.0 + static_cast<double>(engine() % 1200) / 10.0});
            x += 0.05 + static_cast<double>(engine() % 400) / 100.0;
        }
        const int width = 1 + static_cast<int>(engine() % 200);
        const double x0 = static_cast<double>(engine() % 50);
        const double x1 = x0 + 1.0 + static_cast<double>(engine() % 400);
        const std::vector<Column> columns = ReduceToColumns(curve, x0, x1, width);
        const double perColumn = (x1 - x0) / width;
        for (int c = 0; c < width; ++c) {
            const double left = x0 + c * perColumn;
            const double right = left + perColumn;
            // The line sampled densely inside the column.
            double low = INFINITY;
            double high = -INFINITY;
            for (size_t k = 0; k + 1 < curve.size(); ++k) {
                const CurvePoint& a = curve[k];
                const CurvePoint& b = curve[k + 1];
                const double from = std::max(a.X, left);
                const double to = std::min(b.X, right);
                if (from > to || (from == to && to == right))
                    continue;
                for (int s = 0; s <= 16; ++s) {
                    const double at = from + (to - from) * s / 16.0;
                    const double bpm = a.Bpm + (b.Bpm - a.Bpm) * ((at - a.X) / (b.X - a.X));
                    low = std::min(low, bpm);
                    high = std::max(high, bpm);
                }
            }
            if (low > high) {
                EXPECT_TRUE(columns[static_cast<size_t>(c)].Empty) << "column " << c;
                continue;
            }
            ASSERT_FALSE(columns[static_cast<size_t>(c)].Empty) << "column " << c;
            EXPECT_NEAR(columns[static_cast<size_t>(c)].Low, low, 1e-6) << "column " << c;
            EXPECT_NEAR(columns[static_cast<size_t>(c)].High, high, 1e-6) << "column " << c;
        }
    }
}

TEST(TempoCurves, HoverFindsTheNearestTakeAndBeat)
{
    const std::vector<Curve> curves{
        {{0, 120}, {1, 121}, {2, 119}},
        {{0, 100}, {1, 101}, {2, 99}},
    };
    const CurveHit hit = HitTest(curves, 1.1, 102.0, 50.0, 4.0, 20.0);
    EXPECT_EQ(hit.Take, 1);
    EXPECT_EQ(hit.Point, 1u);
    EXPECT_EQ(HitTest(curves, 1.0, 160.0, 50.0, 4.0, 20.0).Take, -1);
}

}  // namespace
