// The tempo graph's model: its map line against the tempo map the pipeline
// exports for generated takes, the markers on their takes' lines, and the
// maths between grid beats and times.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "GraphModel.h"
#include "TakeGenerator.h"
#include "TempoPipeline.h"

namespace {

// Generated takes of one piece with their content as the main window hands
// it over: every take listed and checked, every finding accepted, the map
// of the export with the options given.
GraphContent GeneratedContent(TakeRandom& random, int takes, int beats, const AnalysisOptions& options)
{
    const PieceStyle style = random.Chance(0.5) ? PieceStyle::Steady : PieceStyle::Expressive;
    const std::vector<double> piece = GeneratePiece(random, style, beats);
    GraphContent content;
    for (int m = 0; m < takes; ++m) {
        const SlipKind slip = static_cast<SlipKind>(random.Between(0, 4));
        content.Takes.push_back(GenerateTake(random, piece, slip).Slipped);
    }
    const TakeList list = TakeListOf(content.Takes);
    content.Findings = AnalyzeTakes(list);
    content.Checked.assign(content.Takes.size(), true);
    for (const TakeAnalysis& analysis : content.Findings.Takes)
        content.Accepted.emplace_back(analysis.Findings.size(), true);
    content.ExportBeatTimes = BeatTimesForExport(list, options);
    content.InterpCount = random.Between(0, MaxInterpCount);
    content.TimeSigBase = random.Between(0, MaxTimeSigBase);
    return content;
}

// The map line is the exported map point by point: for generated takes,
// every interpolation count and base note, with and without repair and
// smoothing, each point's tempo is the tempo the pipeline exports there and
// each beat's first point lies on its beat.
TEST(GraphModel, MapLineIsTheExportedTempoMap)
{
    TakeRandom random(20261208);
    for (int round = 0; round < 40; ++round) {
        AnalysisOptions options;
        options.Repair = round % 2 == 1;
        options.Smoothing = round % 3 == 2 ? SmoothingAuto : SmoothingNone;
        const GraphContent content = GeneratedContent(random, random.Between(1, 4), random.Between(8, 120), options);
        SCOPED_TRACE("round " + std::to_string(round) + ", interpolation " + std::to_string(content.InterpCount) +
                     ", base " + std::to_string(content.TimeSigBase));
        const TakeList list = TakeListOf(content.Takes);
        const TempoMap exported = ComputeTempoMap(list, content.InterpCount, content.TimeSigBase, options);
        const GraphModel model = BuildGraphModel(content, CurveAxis::Beat);
        const GraphModel timed = BuildGraphModel(content, CurveAxis::Time);
        const double basePerQuarter = (1 << content.TimeSigBase) / 4.0;
        const double beatTicks = TicksPerQuarter / basePerQuarter;
        const size_t perBeat = static_cast<size_t>(content.InterpCount) + 1;
        // A point whose tempo the export cannot write (times running
        // backwards) has no place on the line.
        size_t shown = 0;
        double tick = 0.0;
        for (size_t c = 0; c < exported.size(); ++c) {
            tick += exported[c].Delta;
            if (exported[c].Tempo <= 0)
                continue;
            ASSERT_LT(shown, model.Export.size());
            const CurvePoint& point = model.Export[shown];
            EXPECT_NEAR(60.0e6 / static_cast<double>(exported[c].Tempo) * basePerQuarter, point.Bpm,
                        1e-9 * point.Bpm);
            EXPECT_NEAR(tick / beatTicks, point.X, 1e-9 * (1.0 + point.X));
            if (c % perBeat == 0) {
                // The first point of a beat lies on it (to within the
                // rounding of the interpolated points' ticks).
                EXPECT_NEAR(static_cast<double>(c / perBeat), point.X, 0.01) << "point " << c;
                // On the time axis the beat lies where the sequencer plays
                // it, which the beat times give to within that rounding and
                // the tempo's truncation to microseconds.
                const double expected = content.ExportBeatTimes[c / perBeat] - content.ExportBeatTimes[0];
                const double slack = content.InterpCount == 0 ? 0.01 + 1e-5 * expected : 1.0 + 2e-3 * expected;
                EXPECT_NEAR(expected, timed.Export[shown].X, slack) << "beat " << c / perBeat;
            }
            EXPECT_EQ(point.Bpm, timed.Export[shown].Bpm);
            if (shown > 0) {
                EXPECT_LT(model.Export[shown - 1].X, point.X);
                EXPECT_LE(timed.Export[shown - 1].X, timed.Export[shown].X);
            }
            ++shown;
        }
        EXPECT_EQ(shown, model.Export.size());
        EXPECT_EQ(shown, timed.Export.size());
        EXPECT_GT(shown, 0u);
    }
}

TEST(GraphModel, MarkersSitOnTheirTakesLinesAndTheExtentHoldsEverything)
{
    TakeRandom random(77);
    int markers = 0;
    for (int round = 0; round < 30; ++round) {
        const GraphContent content = GeneratedContent(random, random.Between(2, 5), random.Between(20, 80),
                                                      AnalysisOptions());
        for (CurveAxis axis : {CurveAxis::Beat, CurveAxis::Time}) {
            SCOPED_TRACE("round " + std::to_string(round) + (axis == CurveAxis::Beat ? " beats" : " times"));
            const GraphModel model = BuildGraphModel(content, axis);
            ASSERT_EQ(content.Takes.size(), model.Takes.size());
            ASSERT_FALSE(model.Empty);
            for (const GraphMarker& marker : model.Markers) {
                ASSERT_LT(static_cast<size_t>(marker.Take), content.Takes.size());
                const TakeAnalysis& analysis = content.Findings.Takes[static_cast<size_t>(marker.Take)];
                ASSERT_LT(static_cast<size_t>(marker.Finding), analysis.Findings.size());
                EXPECT_EQ(analysis.Findings[static_cast<size_t>(marker.Finding)].Kind, marker.Kind);
                const Curve& line = model.Takes[static_cast<size_t>(marker.Take)];
                EXPECT_DOUBLE_EQ(ValueAt(line.empty() ? model.Export : line, marker.X), marker.Bpm);
                EXPECT_LE(model.XMin, marker.X);
                EXPECT_GE(model.XMax, marker.X);
                ++markers;
            }
            for (const Curve* curve : {&model.Export, &model.SpreadLow, &model.SpreadHigh}) {
                for (const CurvePoint& point : *curve) {
                    EXPECT_LE(model.XMin, point.X);
                    EXPECT_GE(model.XMax, point.X);
                }
            }
            for (const Curve& curve : model.Takes) {
                for (const CurvePoint& point : curve) {
                    EXPECT_LE(model.XMin, point.X);
                    EXPECT_GE(model.XMax, point.X);
                }
            }
        }
    }
    EXPECT_GT(markers, 20);  // the slips were found and marked
}

TEST(GraphModel, TurnedDownFindingsAndOtherTakesAnalysis)
{
    const Take steady{0, 500, 1000, 1500, 2000, 2500, 3000, 3500, 4000, 4500, 5000, 5500};
    Take missed = steady;
    missed.erase(missed.begin() + 5);
    GraphContent content;
    content.Takes = {steady, missed, steady};
    content.Findings = AnalyzeTakes(TakeListOf(content.Takes));
    ASSERT_EQ(1u, content.Findings.Takes[1].Findings.size());
    content.Accepted = {{}, {false}, {}};
    GraphModel model = BuildGraphModel(content, CurveAxis::Beat);
    ASSERT_EQ(1u, model.Markers.size());
    EXPECT_EQ(FindingKind::Missed, model.Markers[0].Kind);
    EXPECT_FALSE(model.Markers[0].Accepted);
    EXPECT_EQ(5.0, model.Markers[0].X);  // the beat that fell out
    EXPECT_NEAR(120.0, model.Markers[0].Bpm, 1e-9);
    // Without a say, a finding counts as accepted.
    content.Accepted.clear();
    EXPECT_TRUE(BuildGraphModel(content, CurveAxis::Beat).Markers[0].Accepted);

    // An analysis of other takes would put the taps on the wrong beats: no
    // lines and no markers, and with no map either there is nothing to draw.
    content.Takes.pop_back();
    model = BuildGraphModel(content, CurveAxis::Beat);
    ASSERT_EQ(2u, model.Takes.size());
    EXPECT_TRUE(model.Takes[0].empty());
    EXPECT_TRUE(model.Takes[1].empty());
    EXPECT_TRUE(model.Markers.empty());
    EXPECT_TRUE(model.Empty);
    content.ExportBeatTimes = {0.0, 500.0, 1000.0};
    model = BuildGraphModel(content, CurveAxis::Beat);
    EXPECT_FALSE(model.Empty);
    EXPECT_EQ(0.0, model.XMin);
    EXPECT_EQ(1.0, model.XMax);
}

// A grid of random beat lengths, some of them zero.
std::vector<double> RandomGrid(TakeRandom& random, int beats)
{
    std::vector<double> grid{0.0};
    for (int j = 0; j < beats; ++j)
        grid.push_back(grid.back() + (random.Chance(0.05) ? 0.0 : random.Uniform(150.0, 1500.0)));
    return grid;
}

TEST(GraphBeats, TimesAndBeatsAreInverseOnTheGrid)
{
    TakeRandom random(5);
    for (int round = 0; round < 50; ++round) {
        const std::vector<double> grid = RandomGrid(random, random.Between(1, 60));
        const double end = grid.back();
        const int beats = static_cast<int>(grid.size()) - 1;
        SCOPED_TRACE(round);
        for (int i = 0; i < 200; ++i) {
            // Beat -> time -> beat, inside every beat of non-zero length.
            const double beat = random.Uniform(0.0, static_cast<double>(beats));
            const size_t j = static_cast<size_t>(beat);
            const double x = XOfBeat(grid, CurveAxis::Time, beat);
            EXPECT_LE(grid[j], x);
            EXPECT_GE(grid[j + 1], x);
            if (grid[j + 1] > grid[j] && x < grid[j + 1]) {
                EXPECT_NEAR(beat, BeatAt(grid, CurveAxis::Time, x), 1e-9);
                EXPECT_EQ(static_cast<int64_t>(j), BeatAtX(grid, CurveAxis::Time, x));
            }
            // Time -> beat -> time, anywhere on the grid.
            const double t = random.Uniform(0.0, end);
            EXPECT_NEAR(t, XOfBeat(grid, CurveAxis::Time, BeatAt(grid, CurveAxis::Time, t)), 1e-9 * (1.0 + end));
            EXPECT_DOUBLE_EQ(t, TimeAt(grid, CurveAxis::Time, t));
            EXPECT_NEAR(t, TimeAt(grid, CurveAxis::Beat, BeatAt(grid, CurveAxis::Time, t)), 1e-9 * (1.0 + end));
            // The beat axis is the beat itself.
            EXPECT_EQ(beat, XOfBeat(grid, CurveAxis::Beat, beat));
            EXPECT_EQ(beat, BeatAt(grid, CurveAxis::Beat, beat));
            EXPECT_EQ(static_cast<int64_t>(std::floor(beat)), BeatAtX(grid, CurveAxis::Beat, beat));
        }
        // Every grid beat of non-zero length starts at its grid time.
        for (int j = 0; j < beats; ++j) {
            if (grid[static_cast<size_t>(j) + 1] > grid[static_cast<size_t>(j)]) {
                EXPECT_EQ(grid[static_cast<size_t>(j)], XOfBeat(grid, CurveAxis::Time, j));
                EXPECT_EQ(j, BeatAtX(grid, CurveAxis::Time, grid[static_cast<size_t>(j)]));
            }
        }
        // Beyond the grid: before it at 0 and beat -1, past it at its end and
        // in its last beat.
        EXPECT_EQ(0.0, XOfBeat(grid, CurveAxis::Time, -2.5));
        EXPECT_EQ(-1, BeatAtX(grid, CurveAxis::Time, -1.0));
        EXPECT_EQ(end, XOfBeat(grid, CurveAxis::Time, beats + 3.5));
        EXPECT_EQ(beats - 1, BeatAtX(grid, CurveAxis::Time, end + 100.0));
    }
}

TEST(GraphBeats, LineValuesBetweenAndBeyondPoints)
{
    const Curve curve{{0.0, 100.0}, {2.0, 120.0}, {2.0, 90.0}, {4.0, 110.0}};
    EXPECT_EQ(100.0, ValueAt(curve, -5.0));
    EXPECT_EQ(110.0, ValueAt(curve, 9.0));
    EXPECT_DOUBLE_EQ(105.0, ValueAt(curve, 0.5));
    EXPECT_DOUBLE_EQ(100.0, ValueAt(curve, 3.0));
    EXPECT_TRUE(std::isnan(ValueAt(Curve(), 1.0)));
    EXPECT_EQ(100.0, PointAt(curve, 0.0));
    EXPECT_EQ(120.0, PointAt(curve, 2.0));  // the first point at x
    EXPECT_EQ(0.0, PointAt(curve, 1.0));
    EXPECT_EQ(0.0, PointAt(curve, 5.0));
    EXPECT_EQ(0.0, PointAt(Curve(), 0.0));
}

}  // namespace
