// The map's beats snapped onto the recording's onsets in the tempo graph:
// the model keeps them only where their times mean something (the time
// axis on a recording the map is lined up with), the layout places a
// marker for each beat in view and none where they would smear, the hit
// test names the nearest marker under a point and nothing off the markers'
// row, a dragged marker follows its drag, and the onset strength's columns
// hold the peak of the values under each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "GraphLayout.h"
#include "GraphRecording.h"
#include "TakeGenerator.h"

namespace {

using namespace graph_recording;

GraphMetrics Metrics()
{
    GraphMetrics metrics;
    metrics.TextHeight = 12;
    metrics.NumberWidth = 24;
    metrics.Pad = 6;
    metrics.Tick = 4;
    metrics.MarkerRadius = 5;
    return metrics;
}

// Two takes along 30 s of a recording, the map lined up with it, and its
// beats snapped: each moved by a shift of up to 40 ms, every fifth unsure,
// every seventh edited.
GraphContent Snapped(TakeRandom& random)
{
    GraphContent content = OnRecording({TappedAlong(0, 50, 1200.0, 1), TappedAlong(0, 50, 1200.0, 2)}, {true, true},
                                       LoudStretch(8000, 30.0, 2000.0, 3000.0, 0.5f), 8000);
    for (size_t j = 0; j < content.ExportBeatTimes.size(); ++j) {
        const double tapped = content.ExportBeatTimes[j];
        content.TappedBeatMs.push_back(tapped);
        content.SnappedBeatMs.push_back(tapped + random.Between(-40, 40));
        content.BeatMarks.push_back(j % 7 == 3 ? BeatMark::Edited : j % 5 == 1 ? BeatMark::Unsure : BeatMark::Snapped);
    }
    return content;
}

TEST(GraphBeats, ModelKeepsThemOnlyOnTheRecordingsTimeline)
{
    TakeRandom random(5);
    GraphContent content = Snapped(random);
    ASSERT_TRUE(content.ExportOnRecording);
    content.BeatMarks.resize(content.BeatMarks.size() / 2);  // the rest count as snapped
    const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
    ASSERT_EQ(content.SnappedBeatMs.size(), model.Beats.size());
    for (size_t j = 0; j < model.Beats.size(); ++j) {
        EXPECT_EQ(content.TappedBeatMs[j], model.Beats[j].TappedMs);
        EXPECT_EQ(content.SnappedBeatMs[j], model.Beats[j].SnappedMs);
        EXPECT_EQ(j < content.BeatMarks.size() ? content.BeatMarks[j] : BeatMark::Snapped, model.Beats[j].Mark);
    }

    EXPECT_TRUE(BuildGraphModel(content, CurveAxis::Beat).Beats.empty());
    GraphContent none = content;
    none.Waveform = nullptr;
    EXPECT_TRUE(BuildGraphModel(none, CurveAxis::Time).Beats.empty());
    GraphContent notLinedUp = content;
    notLinedUp.ExportOnRecording = false;
    EXPECT_TRUE(BuildGraphModel(notLinedUp, CurveAxis::Time).Beats.empty());
    GraphContent uneven = content;
    uneven.TappedBeatMs.pop_back();
    EXPECT_TRUE(BuildGraphModel(uneven, CurveAxis::Time).Beats.empty());

    // The snapped beats change nothing else the graph draws.
    GraphContent plain = content;
    plain.TappedBeatMs.clear();
    plain.SnappedBeatMs.clear();
    plain.BeatMarks.clear();
    const GraphModel without = BuildGraphModel(plain, CurveAxis::Time);
    EXPECT_EQ(without.BeatLines, model.BeatLines);
    EXPECT_EQ(without.XMin, model.XMin);
    EXPECT_EQ(without.XMax, model.XMax);
    EXPECT_EQ(without.Markers.size(), model.Markers.size());
}

// Over many views: a marker for every beat in view, at its column; the
// point on a marker names it or one at the same column; a point beyond
// every marker's reach, or off their row, names none.
TEST(GraphBeats, MarkersInViewAndTheHitTestAgree)
{
    TakeRandom random(17);
    const GraphContent content = Snapped(random);
    const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
    int shown = 0;
    int smeared = 0;
    for (int round = 0; round < 60; ++round) {
        GraphView view;
        const double span = 2000.0 + random.Between(0, 40000);
        view.X0 = random.Between(-1000, 28000);
        view.X1 = view.X0 + span;
        const GraphRect area{0, 0, random.Between(160, 900), 400};
        const GraphLayout layout = LayOutGraph(area, Metrics(), model, view);
        const int width = layout.Plot.right - layout.Plot.left;
        const int r = layout.MarkerRadius;
        const double perPixel = (layout.X1 - layout.X0) / width;
        std::vector<int> inView;
        for (size_t j = 0; j < model.Beats.size(); ++j) {
            const double t = model.Beats[j].SnappedMs;
            if (t >= view.X0 && t < view.X1)
                inView.push_back(static_cast<int>(j));
        }
        if (static_cast<int>(inView.size()) * r > width) {
            ++smeared;
            EXPECT_TRUE(layout.BeatMarkers.empty()) << view.X0 << ".." << view.X1;
            continue;
        }
        ++shown;
        // Every beat in view has its marker (those just outside may too).
        for (int j : inView) {
            const auto spot = std::find_if(layout.BeatMarkers.begin(), layout.BeatMarkers.end(),
                                           [j](const BeatMarkerSpot& s) { return s.Beat == j; });
            ASSERT_NE(layout.BeatMarkers.end(), spot) << j;
            EXPECT_EQ(layout.XOf(model.Beats[j].SnappedMs), spot->X);
            EXPECT_EQ(layout.XOf(model.Beats[j].TappedMs), spot->TappedX);
            EXPECT_EQ(model.Beats[j].Mark, spot->Mark);
        }
        for (const BeatMarkerSpot& spot : layout.BeatMarkers) {
            EXPECT_LT(std::abs(model.Beats[spot.Beat].SnappedMs - (view.X0 + view.X1) / 2),
                      span / 2 + (r + 2) * perPixel);
            for (int dy : {-r, 0, r}) {
                const int hit = BeatMarkerAt(model, layout, GraphPoint{spot.X, layout.BeatMarkerY + dy});
                ASSERT_GE(hit, 0);
                EXPECT_EQ(spot.X, layout.XOf(model.Beats[hit].SnappedMs)) << spot.Beat << " gave " << hit;
            }
            // Off the row: a click on the waveform, not on the beat.
            EXPECT_EQ(-1, BeatMarkerAt(model, layout, GraphPoint{spot.X, layout.BeatMarkerY + 2 * r + 3}));
        }
        // Points beyond every marker's reach.
        for (int x = layout.Plot.left; x < layout.Plot.right; x += 7) {
            bool near = false;
            for (const BeatMarkerSpot& spot : layout.BeatMarkers)
                near = near || std::abs(spot.X - x) <= r + 1;
            if (!near) {
                EXPECT_EQ(-1, BeatMarkerAt(model, layout, GraphPoint{x, layout.BeatMarkerY})) << x;
            }
        }
    }
    EXPECT_GT(shown, 10);
    EXPECT_GT(smeared, 5);
    // The whole recording's beats are too close for markers.
    EXPECT_TRUE(LayOutGraph(GraphRect{0, 0, 300, 300}, Metrics(), model, GraphView()).BeatMarkers.empty());
}

TEST(GraphBeats, DraggedMarkerFollowsTheDrag)
{
    TakeRandom random(23);
    const GraphContent content = Snapped(random);
    const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
    GraphView view;
    view.X0 = 5000.0;
    view.X1 = 12000.0;
    const GraphLayout before = LayOutGraph(GraphRect{0, 0, 900, 500}, Metrics(), model, view);
    ASSERT_GT(before.BeatMarkers.size(), 4u);
    const BeatMarkerSpot picked = before.BeatMarkers[3];
    view.DraggedBeat = picked.Beat;
    view.DraggedBeatMs = model.Beats[picked.Beat].SnappedMs + 900.0;
    const GraphLayout after = LayOutGraph(GraphRect{0, 0, 900, 500}, Metrics(), model, view);
    ASSERT_EQ(before.BeatMarkers.size(), after.BeatMarkers.size());
    for (size_t i = 0; i < after.BeatMarkers.size(); ++i) {
        const BeatMarkerSpot& spot = after.BeatMarkers[i];
        EXPECT_EQ(spot.Beat == picked.Beat ? after.XOf(view.DraggedBeatMs) : before.BeatMarkers[i].X, spot.X);
        EXPECT_EQ(before.BeatMarkers[i].TappedX, spot.TappedX);
    }
    EXPECT_EQ(picked.Beat, BeatMarkerAt(model, after, GraphPoint{after.XOf(view.DraggedBeatMs), after.BeatMarkerY}));
}

// Each column's onset value is the peak of the values whose times lie in
// it (zoomed in past the hop, the value it lies in), checked against a
// plain scan.
TEST(GraphBeats, OnsetColumnsHoldThePeakUnderEachColumn)
{
    TakeRandom random(41);
    GraphContent content = Snapped(random);
    auto values = std::make_shared<std::vector<float>>();
    for (int i = 0; i < 12000; ++i)  // 30 s at a 2.5 ms hop
        values->push_back(static_cast<float>(random.Between(0, 1000)) / 1000.0f);
    content.OnsetValues = values;
    content.OnsetHopMs = 2.5;
    const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
    for (double span : {40000.0, 3000.0, 500.0}) {
        SCOPED_TRACE(span);
        GraphView view;
        view.X0 = span > 30000.0 ? -2000.0 : 10000.0;
        view.X1 = view.X0 + span;
        const GraphLayout layout = LayOutGraph(GraphRect{0, 0, 900, 500}, Metrics(), model, view);
        const int width = layout.Plot.right - layout.Plot.left;
        ASSERT_EQ(static_cast<size_t>(width), layout.OnsetColumns.size());
        const double perColumn = (layout.X1 - layout.X0) / width;
        int nonzero = 0;
        for (int c = 0; c < width; ++c) {
            const double t0 = layout.X0 + c * perColumn;
            float peak = 0.0f;
            bool any = false;
            for (size_t i = 0; i < values->size(); ++i) {
                const double t = static_cast<double>(i) * 2.5;
                if (t >= t0 && t < t0 + perColumn) {
                    peak = std::max(peak, (*values)[i]);
                    any = true;
                }
            }
            if (!any && t0 >= 0.0 && t0 < 12000 * 2.5)
                peak = (*values)[static_cast<size_t>(std::floor(t0 / 2.5))];
            EXPECT_EQ(peak, layout.OnsetColumns[static_cast<size_t>(c)]) << c;
            nonzero += peak > 0.0f;
        }
        EXPECT_GT(nonzero, width / 3);
    }
    GraphContent none = content;
    none.OnsetValues = nullptr;
    EXPECT_TRUE(LayOutGraph(GraphRect{0, 0, 900, 500}, Metrics(), BuildGraphModel(none, CurveAxis::Time), GraphView())
                    .OnsetColumns.empty());
}

}  // namespace
