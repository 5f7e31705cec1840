// The tempo graph's model: its map line against the tempo map the pipeline
// exports for generated takes, the markers on their takes' lines, the
// maths between grid beats and times, and the time axis on a recording's
// timeline.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "GraphModel.h"
#include "GraphRecording.h"
#include "TakeGenerator.h"
#include "TempoPipeline.h"
#include "WaveformLevels.h"

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

using namespace graph_recording;

// Three takes along a recording whose piece starts 1.5 s in: two tapped
// along it (the second came in on beat 3 and missed the beat after its
// tenth tap), one tapped without it.
GraphContent ThreeTakesOnRecording(std::shared_ptr<const PeakEnvelope> waveform)
{
    return OnRecording({TappedAlong(0, 30, 1500.0, 1), TappedAlong(3, 30, 1500.0, 2, 12), TappedAlong(0, 30, 1500.0, 3)},
                       {true, true, false}, std::move(waveform), 8000);
}

// On the time axis with a recording every take's taps lie where they were
// tapped on it: an anchored take's by its own times, a take tapped without
// it on the grid, whose first beat the anchored takes place; the map's beats
// are its lines, the findings sit on the recording time of their beat, and
// the graph spans the whole recording.
TEST(GraphModel, OnARecordingTakesLieWhereTheyWereTapped)
{
    const auto waveform = LoudStretch(8000, 20.0, 4000.0, 6000.0, 0.8f);
    const GraphContent content = ThreeTakesOnRecording(waveform);
    ASSERT_TRUE(content.ExportOnRecording);
    const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
    ASSERT_TRUE(model.Waveform);
    EXPECT_EQ(8000u, model.WaveformRate);
    EXPECT_DOUBLE_EQ(20000.0, model.RecordingMs);
    EXPECT_LE(model.XMin, 0.0);
    EXPECT_GE(model.XMax, 20000.0);
    ASSERT_EQ(3u, model.Takes.size());

    // Each anchored take's beat starts at its tap's time on the recording
    // (the missed beat's two halves both from the tap before it).
    for (size_t m = 0; m < 2; ++m) {
        SCOPED_TRACE(m);
        const Take& take = content.Takes[m];
        const std::vector<int64_t>& beats = content.Findings.Takes[m].BeatOfTap;
        const Curve& curve = model.Takes[m];
        size_t point = 0;
        for (size_t i = 0; i + 1 < take.size(); ++i) {
            const double at = static_cast<double>(content.Anchors[m]) + take[i];
            ASSERT_LT(point, curve.size());
            EXPECT_DOUBLE_EQ(at, curve[point].X) << "tap " << i;
            point += static_cast<size_t>(beats[i + 1] - beats[i]);
        }
        EXPECT_EQ(curve.size(), point);
    }
    // The grid's first beat is the piece's first beat on the recording
    // (within the taps' error), and the unanchored take lies on the grid.
    EXPECT_NEAR(1500.0, model.GridTime.front(), 12.0);
    const std::vector<int64_t>& loose = content.Findings.Takes[2].BeatOfTap;
    for (size_t i = 0; i + 1 < loose.size(); ++i)
        EXPECT_DOUBLE_EQ(model.GridTime[static_cast<size_t>(loose[i])], model.Takes[2][i].X);
    for (size_t j = 0; j < model.GridTime.size(); ++j)
        EXPECT_NEAR(BeatOnRecording(static_cast<int>(j), 1500.0), model.GridTime[j], 25.0) << "beat " << j;

    // The map's beats are its lines, on the recording as exported.
    EXPECT_EQ(content.ExportBeatTimes, model.BeatLines);
    for (size_t j = 0; j + 1 < model.Export.size() && j < 20; ++j)
        EXPECT_NEAR(content.ExportBeatTimes[j], model.Export[j].X, 1.0) << "beat " << j;

    // The missed beat is marked between the taps on either side of it, on
    // the late take's line.
    bool found = false;
    for (const GraphMarker& marker : model.Markers) {
        if (marker.Take != 1 || marker.Kind != FindingKind::Missed)
            continue;
        const Finding& finding = content.Findings.Takes[1].Findings[static_cast<size_t>(marker.Finding)];
        const size_t tap = static_cast<size_t>(finding.Tap);
        const double before = static_cast<double>(content.Anchors[1]) + content.Takes[1][tap];
        const double after = static_cast<double>(content.Anchors[1]) + content.Takes[1][tap + 1];
        EXPECT_GT(marker.X, before);
        EXPECT_LT(marker.X, after);
        EXPECT_DOUBLE_EQ(ValueAt(model.Takes[1], marker.X), marker.Bpm);
        found = true;
    }
    EXPECT_TRUE(found);
    for (const GraphMarker& marker : model.Markers)
        EXPECT_NE(FindingKind::Start, marker.Kind) << "take " << marker.Take;

    // Beats and times on the shifted grid stay each other's inverse.
    for (double beat = 0.0; beat < 25.0; beat += 0.37)
        EXPECT_NEAR(beat, BeatAt(model.GridTime, CurveAxis::Time, XOfBeat(model.GridTime, CurveAxis::Time, beat)), 1e-9);
    EXPECT_EQ(-1, BeatAtX(model.GridTime, CurveAxis::Time, model.GridTime.front() - 1.0));
}

// A recording changes nothing on the beat axis but the grid's times (its
// first beat moves onto the recording) and the map lined up with it, whose
// lead-in beats go before the takes' first beat; without a recording the
// fields that go with one change nothing at all.
TEST(GraphModel, BeatAxisAndNoRecordingDrawAsBefore)
{
    const auto waveform = LoudStretch(8000, 20.0, 4000.0, 6000.0, 0.8f);
    const GraphContent with = ThreeTakesOnRecording(waveform);
    GraphContent without = with;
    without.Waveform = nullptr;
    GraphContent plain = without;
    plain.Anchors.clear();
    plain.ExportOnRecording = false;
    plain.StartMs = 0.0;
    without.StartMs = 2500.0;
    const auto same = [](const GraphModel& a, const GraphModel& b, bool sameGrid, double leadIn = 0.0) {
        ASSERT_EQ(a.Takes.size(), b.Takes.size());
        for (size_t m = 0; m < a.Takes.size(); ++m) {
            ASSERT_EQ(a.Takes[m].size(), b.Takes[m].size());
            for (size_t k = 0; k < a.Takes[m].size(); ++k) {
                EXPECT_EQ(a.Takes[m][k].X, b.Takes[m][k].X);
                EXPECT_EQ(a.Takes[m][k].Bpm, b.Takes[m][k].Bpm);
            }
        }
        ASSERT_EQ(a.Export.size(), b.Export.size());
        for (size_t k = 0; k < a.Export.size(); ++k)
            EXPECT_EQ(a.Export[k].X + leadIn, b.Export[k].X);
        ASSERT_EQ(a.SpreadLow.size(), b.SpreadLow.size());
        for (size_t k = 0; k < a.SpreadLow.size(); ++k)
            EXPECT_EQ(a.SpreadLow[k].X, b.SpreadLow[k].X);
        ASSERT_EQ(a.Markers.size(), b.Markers.size());
        for (size_t k = 0; k < a.Markers.size(); ++k) {
            EXPECT_EQ(a.Markers[k].X, b.Markers[k].X);
            EXPECT_EQ(a.Markers[k].Bpm, b.Markers[k].Bpm);
        }
        // The lined-up map's lead-in moves the extent with it.
        if (leadIn == 0.0) {
            EXPECT_EQ(a.XMin, b.XMin);
            EXPECT_EQ(a.XMax, b.XMax);
        } else {
            EXPECT_LE(a.XMin, b.XMin - leadIn);
        }
        ASSERT_EQ(a.GridTime.size(), b.GridTime.size());
        const double shift = a.GridTime.front() - b.GridTime.front();
        EXPECT_EQ(sameGrid, shift == 0.0);
        for (size_t j = 0; j < a.GridTime.size(); ++j)
            EXPECT_NEAR(a.GridTime[j] - shift, b.GridTime[j], 1e-9);
        EXPECT_FALSE(a.Waveform);
        EXPECT_TRUE(a.BeatLines.empty());
    };
    for (CurveAxis axis : {CurveAxis::Beat, CurveAxis::Time}) {
        SCOPED_TRACE(axis == CurveAxis::Beat ? "beat axis" : "time axis");
        same(BuildGraphModel(without, axis), BuildGraphModel(plain, axis), true);
    }
    const GraphModel lined = BuildGraphModel(with, CurveAxis::Beat);
    const double leadIn = static_cast<double>(std::count_if(
        with.ExportBeatTimes.begin(), with.ExportBeatTimes.end(),
        [&lined](double t) { return t < lined.GridTime.front() - 0.5; }));
    EXPECT_GT(leadIn, 0.0) << "the map has no lead-in to check";
    same(lined, BuildGraphModel(plain, CurveAxis::Beat), false, leadIn);
}

}  // namespace
