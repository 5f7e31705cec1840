// The tempo graph's layout and pointer: the view holds the data, the plot
// lies inside the drawing and its axes map pixels and values both ways, and
// the hover readout and marker hit test name what lies under the pointer;
// with a recording, its waveform per column, the map's beats and the
// recording time under a point.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "GraphLayout.h"
#include "GraphRecording.h"
#include "TakeGenerator.h"
#include "TempoPipeline.h"

namespace {

Take Steady(double bpm, int beats)
{
    Take take;
    for (int i = 0; i < beats; ++i)
        take.push_back(static_cast<uint32_t>(std::lround(i * 60000.0 / bpm)));
    return take;
}

GraphContent Content(std::vector<Take> takes)
{
    GraphContent content;
    content.Takes = std::move(takes);
    const TakeList list = TakeListOf(content.Takes);
    content.Findings = AnalyzeTakes(list);
    content.Checked.assign(content.Takes.size(), true);
    content.ExportBeatTimes = BeatTimesForExport(list, AnalysisOptions());
    return content;
}

// Sizes of a font of about 9 points at `dpi`, as the window measures them.
GraphMetrics MetricsAt(unsigned dpi)
{
    GraphMetrics metrics;
    metrics.TextHeight = static_cast<int>(12 * dpi / 96);
    metrics.NumberWidth = static_cast<int>(24 * dpi / 96);
    metrics.Pad = static_cast<int>(6 * dpi / 96);
    metrics.Tick = static_cast<int>(4 * dpi / 96);
    metrics.MarkerRadius = static_cast<int>(5 * dpi / 96);
    return metrics;
}

TEST(GraphLayout, WholeViewHoldsTheDataAndAGivenRangeIsKept)
{
    TakeRandom random(31);
    for (int round = 0; round < 40; ++round) {
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, random.Between(2, 90));
        std::vector<Take> takes;
        // The generator puts a slip well inside a piece: short pieces get none.
        const int slips = piece.size() >= 24 ? 4 : 0;
        for (int m = random.Between(1, 3); m > 0; --m)
            takes.push_back(GenerateTake(random, piece, static_cast<SlipKind>(random.Between(0, slips))).Slipped);
        const GraphContent content = Content(takes);
        for (CurveAxis axis : {CurveAxis::Beat, CurveAxis::Time}) {
            SCOPED_TRACE(round);
            const GraphModel model = BuildGraphModel(content, axis);
            GraphView asked;
            asked.Axis = axis == CurveAxis::Beat ? CurveAxis::Time : CurveAxis::Beat;  // the model's axis wins
            const GraphView whole = ResolveView(model, asked);
            EXPECT_EQ(axis, whole.Axis);
            EXPECT_GE(whole.X1 - whole.X0, axis == CurveAxis::Beat ? MinBeatSpan : MinTimeSpan);
            if (!model.Empty) {
                // The last beat's tempo runs to its end: room beyond the last point.
                EXPECT_LT(whole.X0, model.XMin);
                EXPECT_GT(whole.X1, model.XMax);
            }
            GraphView part = whole;
            part.X0 = whole.X0 + 0.25 * (whole.X1 - whole.X0);
            part.X1 = part.X0 + 1.0;
            const GraphView kept = ResolveView(model, part);
            EXPECT_EQ(part.X0, kept.X0);
            EXPECT_EQ(part.X1, kept.X1);
        }
    }
    const GraphView none = ResolveView(BuildGraphModel(GraphContent(), CurveAxis::Beat), GraphView());
    EXPECT_GE(none.X1 - none.X0, MinBeatSpan);
}

TEST(GraphLayout, PlotLiesInsideTheAreaAndItsAxesMapBothWays)
{
    const GraphContent content = Content({Steady(120, 40), Steady(90, 40)});
    const GraphModel model = BuildGraphModel(content, CurveAxis::Beat);
    TakeRandom random(8);
    for (int round = 0; round < 60; ++round) {
        const unsigned dpi = round % 3 == 0 ? 96u : round % 3 == 1 ? 144u : 192u;
        const GraphRect area{random.Between(-50, 50), random.Between(-50, 50), 0, 0};
        const GraphRect sized{area.left, area.top, area.left + random.Between(100, 2000),
                              area.top + random.Between(80, 1200)};
        GraphView view;
        view.Dpi = dpi;
        const GraphLayout layout = LayOutGraph(sized, MetricsAt(dpi), model, view);
        SCOPED_TRACE(round);
        EXPECT_GE(layout.Plot.left, sized.left);
        EXPECT_GE(layout.Plot.top, layout.Status.bottom);
        EXPECT_LE(layout.Plot.right, sized.right);
        EXPECT_LE(layout.Plot.bottom, sized.bottom);
        EXPECT_LT(layout.Plot.left, layout.Plot.right);
        EXPECT_LT(layout.Plot.top + 1, layout.Plot.bottom);
        const size_t width = static_cast<size_t>(layout.Plot.right - layout.Plot.left);
        ASSERT_EQ(2u, layout.TakeColumns.size());
        EXPECT_EQ(width, layout.TakeColumns[0].size());
        EXPECT_EQ(width, layout.ExportColumns.size());
        // Both tempi on the axis, the ticks inside it and ascending.
        EXPECT_LE(layout.Bpm0, 90.0);
        EXPECT_GE(layout.Bpm1, 120.0);
        ASSERT_GE(layout.YTicks.size(), 2u);
        for (size_t t = 0; t < layout.YTicks.size(); ++t) {
            EXPECT_GE(layout.YTicks[t], layout.Bpm0 - 1e-9);
            EXPECT_LE(layout.YTicks[t], layout.Bpm1 + 1e-9);
            if (t > 0) {
                EXPECT_LT(layout.YTicks[t - 1], layout.YTicks[t]);
            }
        }
        for (double x : layout.XTicks) {
            EXPECT_GE(x, layout.X0);
            EXPECT_LE(x, layout.X1 + 1.0);
            EXPECT_EQ(x, std::floor(x));  // on beats
        }
        // Pixel to value and back is the same pixel, and the edges of the
        // range lie at the plot's edges.
        for (int px = layout.Plot.left; px < layout.Plot.right; ++px)
            ASSERT_EQ(px, layout.XOf(layout.XAt(px))) << px;
        for (int py = layout.Plot.top; py < layout.Plot.bottom; ++py)
            ASSERT_EQ(py, layout.YOf(layout.BpmAt(py))) << py;
        EXPECT_EQ(layout.Plot.left, layout.XOf(layout.X0));
        EXPECT_EQ(layout.Plot.bottom - 1, layout.YOf(layout.Bpm0));
        EXPECT_EQ(layout.Plot.top, layout.YOf(layout.Bpm1));
        // Far beyond the plot, still a pixel a device takes.
        EXPECT_LE(std::abs(layout.XOf(1e300)), 30000);
        EXPECT_LE(std::abs(layout.YOf(-1e300)), 30000);
    }
}

TEST(GraphLayout, HoverNamesTheBeatAndTheNearestTake)
{
    const GraphContent content = Content({Steady(120, 24), Steady(100, 24), Steady(80, 24)});
    for (CurveAxis axis : {CurveAxis::Beat, CurveAxis::Time}) {
        const GraphModel model = BuildGraphModel(content, axis);
        const GraphLayout layout = LayOutGraph(GraphRect{0, 0, 800, 500}, MetricsAt(96), model, GraphView());
        for (int beat = 0; beat < 22; ++beat) {
            for (int take = 0; take < 3; ++take) {
                const double bpm = 120.0 - 20.0 * take;
                const double x = XOfBeat(model.GridTime, axis, beat);
                const GraphHover hover = HoverTempoGraph(model, layout, GraphPoint{layout.XOf(x) + 1, layout.YOf(bpm) + 2});
                SCOPED_TRACE(std::to_string(beat) + " " + std::to_string(take));
                ASSERT_TRUE(hover.Inside);
                EXPECT_EQ(take, hover.Take);
                EXPECT_EQ(beat, hover.Beat);
                ASSERT_EQ(3u, hover.TakeBpm.size());
                for (int m = 0; m < 3; ++m)
                    EXPECT_NEAR(120.0 - 20.0 * m, hover.TakeBpm[static_cast<size_t>(m)], 0.3);
            }
        }
        // Between the lines, out of reach of all of them: a beat but no take;
        // outside the plot, not inside.
        const int middle = (layout.YOf(120.0) + layout.YOf(100.0)) / 2;
        const GraphHover between = HoverTempoGraph(model, layout, GraphPoint{layout.XOf(XOfBeat(model.GridTime, axis, 5.5)), middle});
        EXPECT_TRUE(between.Inside);
        EXPECT_EQ(-1, between.Take);
        EXPECT_EQ(5, between.Beat);
        EXPECT_FALSE(HoverTempoGraph(model, layout, GraphPoint{layout.Plot.left - 1, middle}).Inside);
        EXPECT_FALSE(HoverTempoGraph(model, layout, GraphPoint{layout.Plot.right, middle}).Inside);
    }
}

TEST(GraphLayout, MarkerUnderAPointIsTheNearestWithinItsSize)
{
    Take missed = Steady(120, 30);
    missed.erase(missed.begin() + 9);
    Take extra = Steady(120, 30);
    extra.insert(extra.begin() + 20, extra[19] + 240);
    const GraphContent content = Content({Steady(120, 30), missed, extra, Steady(120, 30)});
    const GraphModel model = BuildGraphModel(content, CurveAxis::Beat);
    ASSERT_GE(model.Markers.size(), 2u);
    const GraphLayout layout = LayOutGraph(GraphRect{0, 0, 900, 500}, MetricsAt(96), model, GraphView());
    const int reach = layout.MarkerRadius + 1;
    for (size_t i = 0; i < model.Markers.size(); ++i) {
        const GraphPoint at{layout.XOf(model.Markers[i].X), layout.YOf(model.Markers[i].Bpm)};
        EXPECT_EQ(static_cast<int>(i), MarkerAt(model, layout, at));
        EXPECT_EQ(static_cast<int>(i), MarkerAt(model, layout, GraphPoint{at.x + reach, at.y - reach}));
        EXPECT_EQ(-1, MarkerAt(model, layout, GraphPoint{at.x + reach + 1, at.y}));
        EXPECT_EQ(-1, MarkerAt(model, layout, GraphPoint{at.x, at.y - reach - 1}));
    }
    EXPECT_TRUE(Contains(GraphRect{1, 2, 3, 4}, GraphPoint{1, 2}));
    EXPECT_FALSE(Contains(GraphRect{1, 2, 3, 4}, GraphPoint{3, 2}));
    EXPECT_FALSE(Contains(GraphRect{1, 2, 3, 4}, GraphPoint{1, 4}));
}

using namespace graph_recording;

// Three takes along 20 s of a recording that is loud from 4 to 6 s.
GraphContent AlongALoudStretch(uint32_t framesPerBlock = 256)
{
    return OnRecording({TappedAlong(0, 30, 1500.0, 1), TappedAlong(2, 28, 1500.0, 2), TappedAlong(0, 30, 1500.0, 3)},
                       {true, true, false}, LoudStretch(8000, 20.0, 4000.0, 6000.0, 0.75f, framesPerBlock), 8000);
}

// Every column wholly inside the loud stretch reaches its level both ways,
// every column wholly outside it is flat silence, and columns beyond the
// recording are empty: zoomed out, zoomed in past a block per column, and
// in blocks of one frame.
TEST(GraphLayout, WaveformColumnsFollowTheRecording)
{
    const GraphRect area{0, 0, 900, 500};
    for (uint32_t perBlock : {256u, 1u}) {
        const GraphContent content = AlongALoudStretch(perBlock);
        const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
        for (const auto& range : {std::pair<double, double>{0.0, 0.0}, {3900.0, 4100.0}, {-3000.0, 25000.0}}) {
            SCOPED_TRACE(std::to_string(perBlock) + " frames a block, " + std::to_string(range.first));
            GraphView view;
            view.X0 = range.first;
            view.X1 = range.second;
            const GraphLayout layout = LayOutGraph(area, MetricsAt(96), model, view);
            ASSERT_EQ(static_cast<size_t>(layout.Plot.right - layout.Plot.left), layout.WaveColumns.size());
            const double perColumn = (layout.X1 - layout.X0) / static_cast<double>(layout.WaveColumns.size());
            int loud = 0;
            int silent = 0;
            for (size_t c = 0; c < layout.WaveColumns.size(); ++c) {
                const double t0 = layout.X0 + static_cast<double>(c) * perColumn;
                const double t1 = t0 + perColumn;
                const WaveColumn& column = layout.WaveColumns[c];
                // A block reaches a little past a column's edge.
                const double reach = 1000.0 * perBlock / 8000.0 + 1.0;
                if (t1 <= 0.0 || t0 >= 20000.0) {
                    EXPECT_TRUE(column.Empty) << c;
                } else if (t0 >= 4000.0 + reach && t1 <= 6000.0 - reach) {
                    ASSERT_FALSE(column.Empty) << c;
                    EXPECT_GE(column.High, 0.75 * 32768 - 1) << c;
                    EXPECT_LE(column.Low, -0.75 * 32768) << c;
                    ++loud;
                } else if (t1 + reach <= 4000.0 || t0 >= 6000.0 + reach) {
                    ASSERT_FALSE(column.Empty) << c;
                    EXPECT_EQ(0, column.High) << c;
                    EXPECT_EQ(0, column.Low) << c;
                    ++silent;
                }
            }
            EXPECT_GT(loud + silent, static_cast<int>(layout.WaveColumns.size()) / 2);
        }
    }
    // Full scale reaches the plot's top and bottom rows, silence its middle.
    const GraphContent content = AlongALoudStretch();
    const GraphLayout layout = LayOutGraph(area, MetricsAt(96), BuildGraphModel(content, CurveAxis::Time), GraphView());
    EXPECT_EQ(layout.Plot.top, layout.YOfSample(32768));
    EXPECT_EQ(layout.Plot.bottom - 1, layout.YOfSample(-32768));
    EXPECT_NEAR((layout.Plot.top + layout.Plot.bottom - 1) / 2.0, layout.YOfSample(0), 0.5);
    // The beat axis has no waveform.
    EXPECT_TRUE(LayOutGraph(area, MetricsAt(96), BuildGraphModel(content, CurveAxis::Beat), GraphView())
                    .WaveColumns.empty());
}

// The map's beats are drawn where they lie, and not at all where they would
// crowd closer than a tick.
TEST(GraphLayout, BeatLinesOnlyWhereTheyCanBeTold)
{
    const GraphContent content = AlongALoudStretch();
    const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
    const GraphMetrics metrics = MetricsAt(96);
    GraphView view;
    view.X0 = 2000.0;
    view.X1 = 9000.0;
    const GraphLayout layout = LayOutGraph(GraphRect{0, 0, 900, 500}, metrics, model, view);
    std::vector<int> expected;
    for (double t : content.ExportBeatTimes) {
        if (t >= view.X0 && t < view.X1)
            expected.push_back(layout.XOf(t));
    }
    EXPECT_GT(expected.size(), 10u);
    EXPECT_EQ(expected, layout.BeatLineColumns);
    // 30 beats over 60 pixels.
    const GraphLayout narrow = LayOutGraph(GraphRect{0, 0, 130, 300}, metrics, model, GraphView());
    EXPECT_LT(narrow.Plot.right - narrow.Plot.left, 30 * metrics.Tick);
    EXPECT_TRUE(narrow.BeatLineColumns.empty());
}

// The recording time under a point and the column of a recording time are
// each other's inverse within a column, the time is clamped to the
// recording, and only the plot of the time axis has one; on the beat axis a
// grid beat's recording time falls in that beat's column.
TEST(GraphLayout, RecordingTimeUnderThePointerAndTheColumnOfATime)
{
    const GraphContent content = AlongALoudStretch();
    const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
    GraphView view;
    view.X0 = -2000.0;
    view.X1 = 23000.0;
    const GraphLayout layout = LayOutGraph(GraphRect{0, 0, 900, 500}, MetricsAt(96), model, view);
    const int y = (layout.Plot.top + layout.Plot.bottom) / 2;
    const double perColumn = (layout.X1 - layout.X0) / (layout.Plot.right - layout.Plot.left);
    int inside = 0;
    for (int px = layout.Plot.left; px < layout.Plot.right; ++px) {
        const int64_t ms = RecordingTimeAt(model, layout, GraphPoint{px, y});
        const double under = layout.X0 + (px - layout.Plot.left + 0.5) * perColumn;
        if (under < 0.0) {
            EXPECT_EQ(0, ms);
        } else if (under > 20000.0) {
            EXPECT_EQ(20000, ms);
        } else {
            EXPECT_NEAR(under, static_cast<double>(ms), 0.5);
            int column = 0;
            ASSERT_TRUE(RecordingTimeColumn(model, layout, static_cast<double>(ms), column));
            EXPECT_NEAR(px, column, 1);
            ++inside;
        }
    }
    EXPECT_GT(inside, 500);
    EXPECT_EQ(-1, RecordingTimeAt(model, layout, GraphPoint{layout.Plot.left - 1, y}));
    EXPECT_EQ(-1, RecordingTimeAt(model, layout, GraphPoint{layout.Plot.left + 5, layout.Plot.bottom}));
    int column = 0;
    EXPECT_FALSE(RecordingTimeColumn(model, layout, -1.0, column));
    EXPECT_FALSE(RecordingTimeColumn(model, layout, std::nan(""), column));

    const GraphModel beats = BuildGraphModel(content, CurveAxis::Beat);
    const GraphLayout beatLayout = LayOutGraph(GraphRect{0, 0, 900, 500}, MetricsAt(96), beats, GraphView());
    EXPECT_EQ(-1, RecordingTimeAt(beats, beatLayout, GraphPoint{(beatLayout.Plot.left + beatLayout.Plot.right) / 2, y}));
    for (size_t j = 0; j + 1 < beats.GridTime.size(); ++j) {
        ASSERT_TRUE(RecordingTimeColumn(beats, beatLayout, (beats.GridTime[j] + beats.GridTime[j + 1]) / 2.0, column));
        EXPECT_NEAR(beatLayout.XOf(static_cast<double>(j) + 0.5), column, 1) << "beat " << j;
    }
}

}  // namespace
