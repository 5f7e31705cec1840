#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "TempoMap.h"

namespace {

TempoMap Compute(const std::vector<Take>& takes, int interpCount, int timeSigBase)
{
    TakeList list = TakeListOf(takes);
    return ComputeTempoMap(list, interpCount, timeSigBase);
}

std::vector<uint32_t> Deltas(const TempoMap& map)
{
    std::vector<uint32_t> out;
    for (const TempoPoint& p : map)
        out.push_back(p.Delta);
    return out;
}

std::vector<int64_t> Tempos(const TempoMap& map)
{
    std::vector<int64_t> out;
    for (const TempoPoint& p : map)
        out.push_back(p.Tempo);
    return out;
}

std::vector<double> Average(const std::vector<Take>& takes)
{
    TakeList list = TakeListOf(takes);
    return AverageTakes(list);
}

// Knots at 2520 units per beat through the given beat times, as the tempo
// computation lays them.
std::vector<SplineKnot> BeatKnots(const std::vector<double>& times)
{
    std::vector<SplineKnot> knots;
    for (size_t k = 0; k < times.size(); ++k)
        knots.push_back(SplineKnot{2520.0 * static_cast<double>(k), times[k], 0.0});
    return knots;
}

// --- Uniformity ---------------------------------------------------------------

TEST(TakesAreUniform, EqualTapCounts)
{
    const Take a{0, 500, 1000}, b{0, 400, 900};
    EXPECT_TRUE(TakesAreUniform({&a, &b}));
    EXPECT_TRUE(TakesAreUniform({&a}));
}

TEST(TakesAreUniform, AnyTakeDifferingFromTheFirst)
{
    const Take a{0, 500, 1000}, b{0, 400, 900}, c{0, 400};
    EXPECT_FALSE(TakesAreUniform({&c, &a}));
    EXPECT_FALSE(TakesAreUniform({&a, &c}));
    EXPECT_FALSE(TakesAreUniform({&a, &b, &c}));
}

// --- Averaging ----------------------------------------------------------------

TEST(AverageTakes, UniformTakesGiveThePlainMean)
{
    EXPECT_EQ((std::vector<double>{0.0, 550.0, 1050.0}), Average({{0, 500, 1000}, {0, 600, 1100}}));
    EXPECT_EQ((std::vector<double>{0.0, 1.5}), Average({{0, 1}, {0, 2}}));
}

TEST(AverageTakes, EachBeatAveragesOnlyTheTakesThatReachIt)
{
    EXPECT_EQ((std::vector<double>{0.0, 450.0, 1000.0, 1500.0}), Average({{0, 500, 1000, 1500}, {0, 400}}));
    // Lengths 2, 3 and 4: beat 1 over three takes, beat 2 over two, beat 3 over one.
    EXPECT_EQ((std::vector<double>{0.0, 200.0, 500.0, 900.0}), Average({{0, 100}, {0, 200, 400}, {0, 300, 600, 900}}));
    // The long take listed first or last makes no difference.
    EXPECT_EQ((std::vector<double>{0.0, 450.0, 1000.0, 1500.0}), Average({{0, 400}, {0, 500, 1000, 1500}}));
}

TEST(AverageTakes, TimesFrom2To31UpStayPositive)
{
    EXPECT_EQ((std::vector<double>{0.0, 3000000000.0}), Average({{0, 4000000000u}, {0, 2000000000u}}));
    EXPECT_EQ((std::vector<double>{0.0, 4294967295.0}), Average({{0, 4294967295u}}));
}

TEST(AverageTakes, TakeWithoutTapsCountsForNoBeat)
{
    EXPECT_EQ((std::vector<double>{0.0, 100.0}), Average({{}, {0, 100}}));
    EXPECT_EQ((std::vector<double>{0.0, 100.0}), Average({{0, 100}, {}}));
}

// --- Natural cubic spline -------------------------------------------------------

// Second derivatives M of the natural cubic spline through (x, y), from the
// textbook tridiagonal system solved by forward elimination; the spline's z
// is M / 6.
std::vector<double> ReferenceSecondDerivatives(const std::vector<double>& x, const std::vector<double>& y)
{
    const size_t n = x.size();
    std::vector<double> m(n, 0.0);
    if (n < 3)
        return m;
    std::vector<double> diag(n, 0.0), rhs(n, 0.0);
    for (size_t i = 1; i + 1 < n; ++i) {
        const double hl = x[i] - x[i - 1], hr = x[i + 1] - x[i];
        diag[i] = 2.0 * (hl + hr);
        rhs[i] = 6.0 * ((y[i + 1] - y[i]) / hr - (y[i] - y[i - 1]) / hl);
    }
    for (size_t i = 2; i + 1 < n; ++i) {
        const double factor = (x[i] - x[i - 1]) / diag[i - 1];
        diag[i] -= factor * (x[i] - x[i - 1]);
        rhs[i] -= factor * rhs[i - 1];
    }
    for (size_t i = n - 2; i >= 1; --i) {
        m[i] = (rhs[i] - (x[i + 1] - x[i]) * m[i + 1]) / diag[i];
        if (i == 1)
            break;
    }
    return m;
}

double ReferenceSpline(double t, const std::vector<double>& x, const std::vector<double>& y,
                       const std::vector<double>& m)
{
    size_t i = 0;
    while (i + 2 < x.size() && t > x[i + 1])
        ++i;
    const double h = x[i + 1] - x[i];
    const double a = x[i + 1] - t, b = t - x[i];
    return m[i] * a * a * a / (6.0 * h) + m[i + 1] * b * b * b / (6.0 * h) + (y[i] / h - m[i] * h / 6.0) * a +
           (y[i + 1] / h - m[i + 1] * h / 6.0) * b;
}

TEST(Spline, NaturalEndsHaveZeroCurvature)
{
    std::vector<SplineKnot> knots = BeatKnots({0.0, 100.0, 2000.0, 2100.0, 2200.0});
    knots.front().z = 17.0;  // whatever the array held before
    knots.back().z = -3.0;
    BuildSpline(knots.data(), static_cast<int>(knots.size()));
    EXPECT_EQ(0.0, knots.front().z);
    EXPECT_EQ(0.0, knots.back().z);
    EXPECT_NE(0.0, knots[1].z);  // the uneven beats do bend the curve
}

TEST(Spline, CollinearKnotsGiveAStraightLine)
{
    std::vector<SplineKnot> knots = BeatKnots({0.0, 500.0, 1000.0, 1500.0, 2000.0, 2500.0});
    for (SplineKnot& k : knots)
        k.z = 1.0;
    BuildSpline(knots.data(), static_cast<int>(knots.size()));
    for (const SplineKnot& k : knots)
        EXPECT_EQ(0.0, k.z) << "at x = " << k.x;
    EXPECT_DOUBLE_EQ(250.0, EvalSpline(1260.0, knots.data(), 6));
    EXPECT_DOUBLE_EQ(1750.0, EvalSpline(8820.0, knots.data(), 6));
}

TEST(Spline, TwoKnotsAreTheLineThroughThem)
{
    std::vector<SplineKnot> knots = BeatKnots({0.0, 600.0});
    knots[0].z = 5.0;
    knots[1].z = 5.0;
    BuildSpline(knots.data(), 2);
    EXPECT_EQ(0.0, knots[0].z);
    EXPECT_EQ(0.0, knots[1].z);
    EXPECT_DOUBLE_EQ(200.0, EvalSpline(840.0, knots.data(), 2));
    EXPECT_DOUBLE_EQ(400.0, EvalSpline(1680.0, knots.data(), 2));
}

TEST(Spline, PassesThroughEveryKnot)
{
    std::vector<SplineKnot> knots = BeatKnots({0.0, 500.0, 1100.0, 1500.0, 1900.0, 2800.0, 2900.0});
    const int n = static_cast<int>(knots.size());
    BuildSpline(knots.data(), n);
    for (const SplineKnot& k : knots)
        EXPECT_NEAR(k.y, EvalSpline(k.x, knots.data(), n), 1e-9) << "at x = " << k.x;
}

TEST(Spline, InteriorValuesBetweenUnevenBeats)
{
    // Beats 0, 500, 1100, 1500: the curve at the middle of each beat.
    std::vector<SplineKnot> knots = BeatKnots({0.0, 500.0, 1100.0, 1500.0});
    BuildSpline(knots.data(), 4);
    EXPECT_NEAR(235.0, EvalSpline(1260.0, knots.data(), 4), 1e-9);
    EXPECT_NEAR(807.5, EvalSpline(3780.0, knots.data(), 4), 1e-9);
    EXPECT_NEAR(1322.5, EvalSpline(6300.0, knots.data(), 4), 1e-9);
}

TEST(Spline, AgreesWithTheTextbookNaturalSplineOnUnevenKnots)
{
    std::mt19937 random(20240611u);
    for (int round = 0; round < 20; ++round) {
        const size_t n = 2 + static_cast<size_t>(static_cast<uint32_t>(random()) % 40u);
        std::vector<double> x(n), y(n);
        double xAt = 0.0, yAt = 0.0;
        for (size_t i = 0; i < n; ++i) {
            x[i] = xAt;
            y[i] = yAt;
            xAt += 1.0 + static_cast<double>(static_cast<uint32_t>(random()) % 5000u);
            yAt += static_cast<double>(static_cast<uint32_t>(random()) % 3000u);
        }
        std::vector<SplineKnot> knots(n);
        for (size_t i = 0; i < n; ++i)
            knots[i] = SplineKnot{x[i], y[i], 0.0};
        const int count = static_cast<int>(n);
        BuildSpline(knots.data(), count);

        const std::vector<double> m = ReferenceSecondDerivatives(x, y);
        for (size_t i = 0; i < n; ++i)
            ASSERT_NEAR(m[i] / 6.0, knots[i].z, 1e-15 + 1e-9 * std::fabs(m[i])) << "round " << round << ", knot " << i;

        for (int s = 0; s < 200; ++s) {
            const double t = x.back() * static_cast<double>(static_cast<uint32_t>(random()) % 100001u) / 100000.0;
            const double expected = ReferenceSpline(t, x, y, m);
            ASSERT_NEAR(expected, EvalSpline(t, knots.data(), count), 1e-9 * (1.0 + std::fabs(expected)))
                << "round " << round << ", t = " << t;
        }
    }
}

// --- Tempo maps of small takes ------------------------------------------------------

TEST(TempoMapExamples, TwoEqualTakesQuarterNotesNoInterpolation)
{
    const TempoMap map = Compute({{0, 500, 1000}, {0, 500, 1000}}, 0, 2);
    EXPECT_EQ((std::vector<uint32_t>{0, 2520}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{500000, 500000}), Tempos(map));
}

TEST(TempoMapExamples, CollinearTakeOneInterpolatedPoint)
{
    // T = 0, 250, 500, 750, 1000.
    const TempoMap map = Compute({{0, 500, 1000}}, 1, 2);
    EXPECT_EQ((std::vector<uint32_t>{0, 1260, 1260, 1260}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{500000, 500000, 500000, 500000}), Tempos(map));
}

TEST(TempoMapExamples, UnevenTakeOneInterpolatedPoint)
{
    // T = 0, 235, 500, 807.5, 1100, 1322.5, 1500 (interior values checked
    // under Spline); each half beat scaled to a whole beat.
    const TempoMap map = Compute({{0, 500, 1100, 1500}}, 1, 2);
    EXPECT_EQ((std::vector<uint32_t>{0, 1260, 1260, 1260, 1260, 1260}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{470000, 530000, 615000, 585000, 445000, 355000}), Tempos(map));
}

TEST(TempoMapExamples, WithoutInterpolationTheBeatsAreNotSmoothed)
{
    const TempoMap map = Compute({{0, 500, 1100, 1500}}, 0, 2);
    EXPECT_EQ((std::vector<uint32_t>{0, 2520, 2520}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{500000, 600000, 400000}), Tempos(map));
}

TEST(TempoMapExamples, EighthNoteBase)
{
    const TempoMap map = Compute({{0, 250, 500}}, 0, 3);
    EXPECT_EQ((std::vector<uint32_t>{0, 1260}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{500000, 500000}), Tempos(map));
}

TEST(TempoMapExamples, OtherBaseNotesScaleTempoAndBeatLength)
{
    // Whole notes 2000 ms apart: a quarter note lasts 500 ms.
    TempoMap map = Compute({{0, 2000, 4000}}, 0, 0);
    EXPECT_EQ((std::vector<uint32_t>{0, 10080}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{500000, 500000}), Tempos(map));
    // Half notes 1000 ms apart.
    map = Compute({{0, 1000, 2000}}, 0, 1);
    EXPECT_EQ((std::vector<uint32_t>{0, 5040}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{500000, 500000}), Tempos(map));
    // 32nd notes 100 ms apart: a quarter note lasts 800 ms.
    map = Compute({{0, 100, 200}}, 0, 5);
    EXPECT_EQ((std::vector<uint32_t>{0, 315}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{800000, 800000}), Tempos(map));
}

TEST(TempoMapExamples, UnequalTakesAreAveragedBeatByBeat)
{
    // A = 0, 450, 1000, 1500.
    const TempoMap map = Compute({{0, 500, 1000, 1500}, {0, 400}}, 0, 2);
    EXPECT_EQ((std::vector<uint32_t>{0, 2520, 2520}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{450000, 550000, 500000}), Tempos(map));
}

TEST(TempoMapExamples, AveragedTimesRunningBackwardsGiveANegativeTempo)
{
    // A = 0, 1250, 1000: the map keeps the value; only the export clamps it.
    const TempoMap map = Compute({{0, 500, 1000}, {0, 2000}}, 0, 2);
    EXPECT_EQ((std::vector<uint32_t>{0, 2520}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{1250000, -250000}), Tempos(map));
}

TEST(TempoMapExamples, TwoTapsTwoInterpolatedPoints)
{
    // A straight line: T = 0, 200, 400, 600.
    const TempoMap map = Compute({{0, 600}}, 2, 2);
    EXPECT_EQ((std::vector<uint32_t>{0, 840, 840}), Deltas(map));
    EXPECT_EQ((std::vector<int64_t>{600000, 600000, 600000}), Tempos(map));
}

TEST(TempoMapExamples, ThirtySecondNotesTenInterpolatedPoints)
{
    const TempoMap map = Compute({{0, 100, 200, 300}}, 10, 5);
    ASSERT_EQ(33u, map.size());
    uint32_t tick = 0;
    for (size_t c = 0; c < map.size(); ++c) {
        tick += map[c].Delta;
        const uint32_t expected = static_cast<uint32_t>(c / 11) * 315u + static_cast<uint32_t>(c % 11) * 29u;
        EXPECT_EQ(expected, tick) << "point " << c;
        if (c > 0) {
            EXPECT_EQ(c % 11 == 0 ? 25u : 29u, map[c].Delta) << "point " << c;
        }
    }
}

TEST(TempoMapExamples, QuarterNotesTenInterpolatedPointsUse229UnitSteps)
{
    // On a straight line of 500 ms per beat a 229-unit step lasts
    // 229 / 2520 * 500 ms; scaled by 11 that is 499801.6 us. The last step of
    // the beat is 230 units: 501984.1 us. Equal steps of 2520 / 11 units
    // would give 500000 everywhere.
    const TempoMap map = Compute({{0, 500, 1000}}, 10, 2);
    ASSERT_EQ(22u, map.size());
    for (size_t c = 0; c < map.size(); ++c) {
        const bool lastOfBeat = c % 11 == 10;
        EXPECT_EQ(lastOfBeat ? 501984 : 499801, map[c].Tempo) << "point " << c;
        if (c > 0) {
            EXPECT_EQ(c % 11 == 0 ? 230u : 229u, map[c].Delta) << "point " << c;
        }
    }
}

TEST(TempoMapExamples, TapsTwentySecondsApartKeepTheFullValue)
{
    const TempoMap map = Compute({{0, 20000, 40000}}, 0, 2);
    EXPECT_EQ((std::vector<int64_t>{20000000, 20000000}), Tempos(map));
}

TEST(TempoMapExamples, VeryLongIntervalIsNotCutTo32Bits)
{
    // 4294967295 ms for a 32nd note: 8 * 4294967295000 us per quarter note.
    const TempoMap map = Compute({{0, 4294967295u}}, 0, 5);
    ASSERT_EQ(1u, map.size());
    EXPECT_EQ(int64_t{34359738360000}, map[0].Tempo);
}

TEST(TempoMapExamples, SplineOvershootGivesANegativeFirstTempo)
{
    const std::vector<Take> takes{{0, 100, 2000, 2100, 2200}};
    std::vector<SplineKnot> knots = BeatKnots({0.0, 100.0, 2000.0, 2100.0, 2200.0});
    BuildSpline(knots.data(), 5);
    EXPECT_NEAR(-46.0, EvalSpline(229.0, knots.data(), 5), 0.05);

    const TempoMap map = Compute(takes, 10, 2);
    ASSERT_EQ(44u, map.size());
    EXPECT_EQ(-505470, map[0].Tempo);
}

// --- The tick grid for every interpolation count and base note -----------------------

// tickStep and the last sub-interval of a beat; rows l = 1..11, columns
// h = 1, 2, 4, 8, 16, 32. For l = 1 the one sub-interval is the whole beat.
constexpr uint32_t kTickStep[11][6] = {
    {10080, 5040, 2520, 1260, 630, 315}, {5040, 2520, 1260, 630, 315, 158}, {3360, 1680, 840, 420, 210, 105},
    {2520, 1260, 630, 315, 158, 79},     {2016, 1008, 504, 252, 126, 63},   {1680, 840, 420, 210, 105, 53},
    {1440, 720, 360, 180, 90, 45},       {1260, 630, 315, 158, 79, 39},     {1120, 560, 280, 140, 70, 35},
    {1008, 504, 252, 126, 63, 32},       {916, 458, 229, 115, 57, 29},
};
constexpr uint32_t kLastStep[11][6] = {
    {10080, 5040, 2520, 1260, 630, 315}, {5040, 2520, 1260, 630, 315, 157}, {3360, 1680, 840, 420, 210, 105},
    {2520, 1260, 630, 315, 156, 78},     {2016, 1008, 504, 252, 126, 63},   {1680, 840, 420, 210, 105, 50},
    {1440, 720, 360, 180, 90, 45},       {1260, 630, 315, 154, 77, 42},     {1120, 560, 280, 140, 70, 35},
    {1008, 504, 252, 126, 63, 27},       {920, 460, 230, 110, 60, 25},
};
constexpr uint32_t kBeatTicks[6] = {10080, 5040, 2520, 1260, 630, 315};

TEST(TempoMapGrid, TickStepAndLastSubIntervalForEveryCombination)
{
    const std::vector<Take> takes{{0, 480, 1000, 1530}};  // three beats
    for (int l = 1; l <= 11; ++l) {
        for (int b = 0; b <= 5; ++b) {
            SCOPED_TRACE(testing::Message() << "l = " << l << ", h = " << (1 << b));
            const uint32_t step = kTickStep[l - 1][b];
            const uint32_t last = kLastStep[l - 1][b];
            const uint32_t beat = kBeatTicks[b];
            ASSERT_EQ(beat, (static_cast<uint32_t>(l) - 1) * step + last);  // the table adds up
            // The grid the export counts its bytes on before any point is made.
            const TempoTickGrid grid = TempoTickGridFor(l - 1, b);
            EXPECT_EQ(l, grid.PointsPerBeat);
            EXPECT_EQ(step, grid.TickStep);
            EXPECT_EQ(last, grid.BeatStep);

            const TempoMap map = Compute(takes, l - 1, b);
            const size_t points = static_cast<size_t>(3 * l);
            ASSERT_EQ(points, map.size());
            EXPECT_EQ(points, TempoPointCount(4, l - 1));
            EXPECT_EQ(0u, map[0].Delta);
            uint32_t tick = 0;
            for (size_t c = 1; c < points; ++c) {
                const bool beatStart = c % static_cast<size_t>(l) == 0;
                EXPECT_EQ(beatStart ? last : step, map[c].Delta) << "point " << c;
                tick += map[c].Delta;
                if (beatStart) {
                    EXPECT_EQ(beat * static_cast<uint32_t>(c / static_cast<size_t>(l)), tick)
                        << "beat starting at point " << c << " is off the beat grid";
                }
            }
            // The last point sits l - 1 steps into the third beat.
            EXPECT_EQ(2 * beat + (static_cast<uint32_t>(l) - 1) * step, tick);
        }
    }
}

// --- The map against the spline it samples -------------------------------------------

// Every tempo point of the map is the interval between two consecutive time
// points, the averaged beats with the spline's samples 2520 / l units apart
// (rounded) in between. Three takes of unequal length, long enough that the
// spline's elimination runs well past its first knots.
TEST(TempoMapAssembly, EveryPointIsTheIntervalBetweenTheSplinesSamples)
{
    std::mt19937 random(20251207u);
    std::vector<Take> takes;
    for (const size_t taps : {40u, 25u, 33u}) {
        Take take;
        uint32_t time = 0;
        for (size_t i = 0; i < taps; ++i) {
            take.push_back(time);
            time += 300u + static_cast<uint32_t>(random() % 500u);
        }
        takes.push_back(take);
    }
    const std::vector<double> averages = Average(takes);
    std::vector<SplineKnot> knots = BeatKnots(averages);
    const int n = static_cast<int>(knots.size());
    BuildSpline(knots.data(), n);

    for (int interp = 0; interp <= MaxInterpCount; ++interp) {
        const int l = interp + 1;
        const double step = std::round(2520.0 / l);
        std::vector<double> times;
        for (int k = 0; k < n; ++k) {
            times.push_back(averages[static_cast<size_t>(k)]);
            for (int i = 1; k + 1 < n && i < l; ++i)
                times.push_back(EvalSpline(knots[static_cast<size_t>(k)].x + i * step, knots.data(), n));
        }
        for (const int base : {2, 5}) {
            SCOPED_TRACE(testing::Message() << "Q = " << interp << ", base " << base);
            const double bpq = 0.25 * (1 << base);
            std::vector<int64_t> expected;
            for (size_t c = 0; c + 1 < times.size(); ++c) {
                const double interval = times[c + 1] * 1000.0 - times[c] * 1000.0;
                expected.push_back(static_cast<int64_t>(std::trunc(interval * bpq * l)));
            }
            EXPECT_EQ(expected, Tempos(Compute(takes, interp, base)));
        }
    }
}

// Knot abscissae grow by 2520 a beat; past 852176 beats they no longer fit
// an int. A steady take that long still gives the steady tempo throughout.
TEST(TempoMapAssembly, VeryLongTakeStaysSteady)
{
    Take take(852300);
    for (size_t i = 0; i < take.size(); ++i)
        take[i] = static_cast<uint32_t>(500 * i);
    const TempoMap map = Compute({take}, 1, 2);
    ASSERT_EQ(2 * (take.size() - 1), map.size());
    size_t unsteady = 0;
    for (const TempoPoint& point : map)
        unsteady += point.Tempo != 500000;
    EXPECT_EQ(0u, unsteady);
}

}  // namespace
